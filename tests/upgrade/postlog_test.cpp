// The message log: the old one is read from its end (its newest whole lines,
// up to keptLogBytes, however long it is), and it survives a kill between its
// reservation and its rewrite: the old log stays whole until the new one takes
// its name, and a reservation a killed run left is reused and then goes.
#include "upgrade/postlog.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/device_root.h"
#include "support/captured_console.h"
#include "support/installer_process.h"
#include "support/scratch_dir.h"

namespace {

using namespace testing_support;

TEST(Postlog, TheReservationKeepsTheNewestWholeLinesOfTheOldLog) {
  const std::string newest = "newest\n", bounded(keptLogBytes - 1, 'z');
  const std::pair<std::string, std::string> logs[] = {
      // old log, lines kept
      {std::string(64 << 20, '\n') + newest,
       std::string(keptLogBytes - newest.size(), '\n') + newest},
      {std::string(keptLogBytes, 'x') + '\n' + newest, newest},  // the window cuts a line
      {bounded + '\n', bounded + '\n'},                          // all of it fits
  };
  for (const auto& [old, kept] : logs) {
    const DeviceRoot root;
    writeFile(root.at("/flash/postlog"), old);
    const ScopedDeviceRoot device(root.path());
    CapturedConsole out;
    static_cast<void>(reservePostlog(out.console));  // only the lines kept count here
    std::string seen;
    for (const std::string& line : out.console.messages) seen += line + '\n';
    EXPECT_EQ(seen.size(), kept.size());
    EXPECT_TRUE(seen == kept);
  }
}

TEST(Postlog, TheOldLogStaysWholeUntilTheNewOneIsRenamedOverIt) {
  const DeviceRoot root;
  writeFile(root.at("/flash/postlog"), "old\n");
  writeFile(root.at("/flash/.postlog.reserve"), "left by a killed run");
  {
    const ScopedDeviceRoot device(root.path());
    CapturedConsole out;
    const PostlogSpace space = reservePostlog(out.console);
    // A kill here must find the old log as it was.
    EXPECT_EQ("old\n", readFile(root.at("/flash/postlog")));
    EXPECT_EQ(std::string(4096, '\0'), readFile(root.at("/flash/.postlog.reserve")));
    out.console.messages.push_back("new");
    writePostlog(out.console, space);
  }
  EXPECT_EQ("old\nnew\n", readFile(root.at("/flash/postlog")));
  for (const auto& entry : std::filesystem::directory_iterator(root.at("/flash")))
    EXPECT_NE('.', entry.path().filename().string()[0]) << entry.path();
}

}  // namespace
