// The old message log is read from its end: its newest whole lines, up to
// keptLogBytes, however long it is.
#include <gtest/gtest.h>

#include "files/device_root.h"
#include "support/captured_console.h"
#include "support/installer_process.h"
#include "upgrade/postlog.h"

namespace {

using testing_support::DeviceRoot;

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
    testing_support::writeFile(root.at("/flash/postlog"), old);
    const ScopedDeviceRoot device(root.path());
    testing_support::CapturedConsole out;
    static_cast<void>(reservePostlog(out.console));  // only the lines kept count here
    std::string seen;
    for (const std::string& line : out.console.messages) seen += line + '\n';
    EXPECT_EQ(seen.size(), kept.size());
    EXPECT_TRUE(seen == kept);
  }
}

}  // namespace
