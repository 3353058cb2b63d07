#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/console.h"

namespace {

const std::string hide = "\x1b[?25l";
const std::string show = "\x1b[?25h";

// A Console writing into memory; take() returns the bytes written since the last call.
struct CapturedConsole {
  char* buffer = nullptr;
  std::size_t size = 0, taken = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  Console console{file};
  ~CapturedConsole() {
    std::fclose(file);
    std::free(buffer);
  }
  std::string take() {
    std::fflush(file);
    std::string bytes(buffer + taken, size - taken);
    taken = size;
    return bytes;
  }
};

// The status line is rewritten in place, its rest blanked; info and error
// clear it, a warning redraws it.
TEST(ConsoleMessages, StatusLineAndMessages) {
  CapturedConsole c;
  c.console.setStatus("working");
  EXPECT_EQ(c.take(), hide + "\rworking\r" + show);
  c.console.setStatus("working");  // unchanged: nothing written
  EXPECT_EQ(c.take(), "");
  c.console.warning("disk %s", "low");
  EXPECT_EQ(c.take(), "\r" + std::string(79, ' ') + "\rWARNING: disk low\nworking");
  EXPECT_EQ(c.console.statusLine, "working");
  c.console.error("failed %s", "x");
  EXPECT_EQ(c.take(), hide + "\r       \r" + show + "ERROR: failed x\n");
  EXPECT_EQ(c.console.statusLine, "");
  c.console.setStatus("again");
  c.take();
  c.console.info("installed %s", "a-1.0");
  EXPECT_EQ(c.take(), hide + "\r     \r" + show + "installed a-1.0\n");
  c.console.warning("plain");  // without a status line, just the line
  EXPECT_EQ(c.take(), "WARNING: plain\n");
  EXPECT_EQ(c.console.messages, (std::vector<std::string>{"WARNING: disk low", "ERROR: failed x",
                                                          "installed a-1.0", "WARNING: plain"}));

  // Cut at 255 formatted bytes after the prefix, on screen and in the record.
  c.console.error("%s", std::string(300, 'm').c_str());
  const std::string kept = "ERROR: " + std::string(255, 'm');
  EXPECT_EQ(c.take(), kept + "\n");
  EXPECT_EQ(c.console.messages.back(), kept);
  c.console.info("%s", "100% %s %n");  // an argument is never read as a format
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

TEST(ConsoleProgress, BarIs77ColumnsWideFillsProportionallyAndClamps) {
  CapturedConsole c;
  const std::string head = "verifying a.tpk [";
  const std::size_t width = 76 - head.size();
  const auto bar = [&](std::uint32_t position, std::uint32_t total) {
    c.console.showProgress("verifying a.tpk", position, total);
    return c.console.statusLine;
  };
  EXPECT_EQ(bar(0, 1000), head + std::string(width, ' ') + "]");
  EXPECT_EQ(bar(500, 1000), head + std::string(width / 2, '#') + std::string(width - width / 2, ' ') + "]");
  // Taken in 64 bits: a position near 4 GiB does not overflow.
  EXPECT_EQ(bar(0xFFFFFFFEu, 0xFFFFFFFFu), head + std::string(width - 1, '#') + " ]");
  // An empty input and a position past the end show a full bar.
  EXPECT_EQ(bar(0, 0), head + std::string(width, '#') + "]");
  EXPECT_EQ(bar(20, 10), head + std::string(width, '#') + "]");
  // A label too long for the bar gets an empty bar, never a negative one.
  for (const std::string& label : {std::string(74, 'L'), std::string(200, 'L')}) {
    c.console.showProgress(label, 3, 10);
    EXPECT_EQ(c.console.statusLine, label + " []");
  }
}

}  // namespace
