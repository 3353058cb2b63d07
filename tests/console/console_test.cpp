#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/console.h"
#include "support/scratch_dir.h"

namespace {

// A Console writing into memory.
struct CapturedConsole {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  Console console{file};
  ~CapturedConsole() { std::fclose(file), std::free(buffer); }
  std::string written() {
    std::fflush(file);
    return std::string(buffer, size);
  }
};

// The status line is rewritten in place (hiding the cursor meanwhile), its rest
// blanked; info and error clear it, a warning redraws it. Messages are cut at
// 255 formatted bytes after the prefix, on screen and in the record.
TEST(ConsoleMessages, StatusLineAndMessages) {
  CapturedConsole c;
  c.console.setStatus("working");
  c.console.setStatus("working");  // unchanged: nothing written
  c.console.warning("disk %s", "low");
  EXPECT_EQ(c.console.statusLine, "working");
  c.console.error("failed %s", "x");
  EXPECT_EQ(c.console.statusLine, "");
  c.console.setStatus("again");
  c.console.info("installed %s", "a-1.0");
  c.console.warning("plain");  // without a status line, just the line
  c.console.error("%s", std::string(300, 'm').c_str());
  c.console.info("%s", "100% %s %n");  // an argument is never read as a format
  EXPECT_EQ(c.written(), testing_support::readFile(std::string(TEST_DATA_DIR) + "/console/messages.out"));
  EXPECT_EQ(c.console.messages, (std::vector<std::string>{"WARNING: disk low", "ERROR: failed x", "installed a-1.0",
                                                          "WARNING: plain", "ERROR: " + std::string(255, 'm'),
                                                          "100% %s %n"}));
}

TEST(ConsoleMessages, QuietWritesAndRecordsNothing) {
  CapturedConsole c;
  c.console.quiet = true;
  c.console.setStatus("x");
  c.console.showProgress("verifying ", 5, 10);
  for (auto message : {&Console::info, &Console::warning, &Console::error}) (c.console.*message)("m");
  EXPECT_EQ(c.written(), "");
  EXPECT_TRUE(c.console.messages.empty());
  EXPECT_TRUE(c.console.statusLine.empty());
}

// 77 columns, filled in proportion (taken in 64 bits: no overflow near 4 GiB);
// an empty input and a position past the end show a full bar; a label too long
// for the bar gets an empty one, never a negative one.
TEST(ConsoleProgress, BarIs77ColumnsWideFillsProportionallyAndClamps) {
  CapturedConsole c;
  const std::string head = "verifying a.tpk [";
  const std::size_t width = 76 - head.size();
  struct Bar { std::uint32_t position, total; std::size_t filled; };
  const Bar bars[] = {{0, 1000, 0}, {500, 1000, width / 2}, {0xFFFFFFFEu, 0xFFFFFFFFu, width - 1}, {0, 0, width}, {20, 10, width}};
  for (const auto& bar : bars) {
    c.console.showProgress("verifying a.tpk", bar.position, bar.total);
    EXPECT_EQ(c.console.statusLine, head + std::string(bar.filled, '#') + std::string(width - bar.filled, ' ') + "]");
  }
  for (const std::string& label : {std::string(74, 'L'), std::string(200, 'L')}) {
    c.console.showProgress(label, 3, 10);
    EXPECT_EQ(c.console.statusLine, label + " []");
  }
}

}  // namespace
