#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver/console.h"

namespace {

const std::string hide = "\x1b[?25l";
const std::string show = "\x1b[?25h";
const std::string wipe = "\r" + std::string(79, ' ') + "\r";

// A Console writing into memory, so tests see every byte it writes.
class CapturedConsole {
public:
  CapturedConsole() : file_(open_memstream(&buffer_, &size_)), console(file_) {}
  ~CapturedConsole() {
    std::fclose(file_);
    std::free(buffer_);
  }
  // The bytes written since the previous call.
  std::string take() {
    std::fflush(file_);
    std::string bytes(buffer_ + taken_, size_ - taken_);
    taken_ = size_;
    return bytes;
  }

private:
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
  std::size_t taken_ = 0;
  std::FILE* file_;

public:
  Console console;
};

TEST(ConsoleStatus, RewritesInPlaceAndBlanksTheRest) {
  CapturedConsole c;
  c.console.setStatus("abcdef");
  EXPECT_EQ(c.take(), hide + "\rabcdef\r" + show);
  c.console.setStatus("abcdef");  // unchanged: nothing written
  EXPECT_EQ(c.take(), "");
  c.console.setStatus("xyz");
  EXPECT_EQ(c.take(), hide + "\rxyz   \r" + show);
  EXPECT_EQ(c.console.statusLine, "xyz");
  c.console.setStatus("");
  EXPECT_EQ(c.take(), hide + "\r   \r" + show);
  EXPECT_EQ(c.console.statusLine, "");
  c.console.setStatus("");  // nothing shown, nothing to do
  EXPECT_EQ(c.take(), "");
}

TEST(ConsoleMessages, InfoAndErrorClearTheStatusLineWarningRedrawsIt) {
  CapturedConsole c;
  c.console.setStatus("working");
  c.take();
  c.console.warning("disk %s", "low");
  EXPECT_EQ(c.take(), wipe + "WARNING: disk low\nworking");
  EXPECT_EQ(c.console.statusLine, "working");

  c.console.error("failed %s", "x");
  EXPECT_EQ(c.take(), hide + "\r       \r" + show + "ERROR: failed x\n");
  EXPECT_EQ(c.console.statusLine, "");

  c.console.setStatus("again");
  c.take();
  c.console.info("installed %s%s", "", "a-1.0");
  EXPECT_EQ(c.take(), hide + "\r     \r" + show + "installed a-1.0\n");

  // Without a status line a warning is just the line.
  c.console.warning("plain");
  EXPECT_EQ(c.take(), "WARNING: plain\n");

  const std::vector<std::string> expected = {"WARNING: disk low", "ERROR: failed x",
                                             "installed a-1.0", "WARNING: plain"};
  EXPECT_EQ(c.console.messages, expected);
}

TEST(ConsoleMessages, CutAt255FormattedBytesAfterThePrefix) {
  CapturedConsole c;
  const std::string text(300, 'm');
  c.console.error("%s", text.c_str());
  const std::string kept = "ERROR: " + std::string(255, 'm');
  EXPECT_EQ(c.take(), kept + "\n");
  ASSERT_EQ(c.console.messages.size(), 1u);
  EXPECT_EQ(c.console.messages[0], kept);

  // Package text passed as an argument is never interpreted as a format.
  c.console.info("%s", "100% %s %n");
  EXPECT_EQ(c.take(), "100% %s %n\n");
}

TEST(ConsoleMessages, QuietWritesAndRecordsNothing) {
  CapturedConsole c;
  c.console.quiet = true;
  c.console.setStatus("x");
  c.console.showProgress("verifying ", 5, 10);
  c.console.info("i");
  c.console.warning("w");
  c.console.error("e");
  EXPECT_EQ(c.take(), "");
  EXPECT_TRUE(c.console.messages.empty());
  EXPECT_TRUE(c.console.statusLine.empty());
}

TEST(ConsoleProgress, BarIs77ColumnsWideAndFillsProportionally) {
  CapturedConsole c;
  const std::string head = "verifying a.tpk [";
  const std::size_t width = 76 - head.size();
  c.console.showProgress("verifying a.tpk", 0, 1000);
  EXPECT_EQ(c.console.statusLine, head + std::string(width, ' ') + "]");
  EXPECT_EQ(c.console.statusLine.size(), 77u);
  c.console.showProgress("verifying a.tpk", 1000, 1000);
  EXPECT_EQ(c.console.statusLine, head + std::string(width, '#') + "]");
  c.console.showProgress("verifying a.tpk", 500, 1000);
  EXPECT_EQ(c.console.statusLine,
            head + std::string(width / 2, '#') + std::string(width - width / 2, ' ') + "]");
  // The product is taken in 64 bits: a position near 4 GiB does not overflow.
  c.console.showProgress("verifying a.tpk", 0xFFFFFFFEu, 0xFFFFFFFFu);
  EXPECT_EQ(c.console.statusLine, head + std::string(width - 1, '#') + " ]");
  // Repeating the same fill writes nothing.
  c.take();
  c.console.showProgress("verifying a.tpk", 0xFFFFFFFEu, 0xFFFFFFFFu);
  EXPECT_EQ(c.take(), "");
}

TEST(ConsoleProgress, ClampsInsteadOfBuildingBadBars) {
  CapturedConsole c;
  // An empty input and a position past the end show a full bar.
  c.console.showProgress("x", 0, 0);
  EXPECT_EQ(c.console.statusLine, "x [" + std::string(73, '#') + "]");
  c.console.showProgress("x", 20, 10);
  EXPECT_EQ(c.console.statusLine, "x [" + std::string(73, '#') + "]");
  // A label too long for the bar gets an empty bar, never a negative one.
  const std::string label(74, 'L');
  c.console.showProgress(label, 3, 10);
  EXPECT_EQ(c.console.statusLine, label + " []");
  const std::string longer(200, 'L');
  c.console.showProgress(longer, 3, 10);
  EXPECT_EQ(c.console.statusLine, longer + " []");
}

}  // namespace
