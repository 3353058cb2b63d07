// The message log survives a kill between its reservation and its rewrite: the
// old log stays whole until the new one takes its name, and a reservation a
// killed run left is reused and then goes.
#include <gtest/gtest.h>

#include <filesystem>

#include "files/device_root.h"
#include "support/captured_console.h"
#include "support/installer_process.h"
#include "support/scratch_dir.h"
#include "upgrade/postlog.h"

namespace {

using testing_support::DeviceRoot;
using testing_support::readFile;

TEST(PostlogReservation, TheOldLogStaysWholeUntilTheNewOneIsRenamedOverIt) {
  const DeviceRoot root;
  testing_support::writeFile(root.at("/flash/postlog"), "old\n");
  testing_support::writeFile(root.at("/flash/.postlog.reserve"), "left by a killed run");
  {
    const ScopedDeviceRoot device(root.path());
    testing_support::CapturedConsole out;
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
