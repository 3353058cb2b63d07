#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "console/console.h"
#include "support/captured_console.h"
#include "support/scratch_dir.h"

namespace {

using testing_support::CapturedConsole;

// The status line is rewritten in place (hiding the cursor meanwhile), its rest
// blanked; info and error clear it, a warning redraws it. Messages are cut at
// 255 formatted bytes after the prefix, on screen and in the record (one a
// line in messages.record). A quiet console writes and records nothing.
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
  c.console.quiet = true;
  c.console.setStatus("x");
  c.console.showProgress("verifying ", 5, 10);
  for (auto message : {&Console::info, &Console::warning, &Console::error})
    (c.console.*message)("m");
  EXPECT_TRUE(c.console.statusLine.empty());
  const std::string data = std::string(TEST_DATA_DIR) + "/console/messages";
  EXPECT_EQ(c.written(), testing_support::readFile(data + ".out"));
  std::string record;
  for (const std::string& message : c.console.messages) record += message + "\n";
  EXPECT_EQ(record, testing_support::readFile(data + ".record"));
}

// 77 columns, filled in proportion (taken in 64 bits: no overflow near 4 GiB);
// an empty input and a position past the end show a full bar; a label too long
// for the bar gets an empty one, never a negative one.
TEST(ConsoleProgress, BarIs77ColumnsWideFillsProportionallyAndClamps) {
  CapturedConsole c;
  const std::string head = "verifying a.tpk [";
  const std::size_t width = 76 - head.size();
  struct Bar {
    std::uint32_t position, total;
    std::size_t filled;
  };
  const Bar bars[] = {{0, 1000, 0},
                      {500, 1000, width / 2},
                      {0xFFFFFFFEu, 0xFFFFFFFFu, width - 1},
                      {0, 0, width},
                      {20, 10, width}};
  for (const auto& bar : bars) {
    c.console.showProgress("verifying a.tpk", bar.position, bar.total);
    EXPECT_EQ(c.console.statusLine,
              head + std::string(bar.filled, '#') + std::string(width - bar.filled, ' ') + "]");
  }
  for (const std::string& label : {std::string(74, 'L'), std::string(200, 'L')}) {
    c.console.showProgress(label, 3, 10);
    EXPECT_EQ(c.console.statusLine, label + " []");
  }
}

}  // namespace
