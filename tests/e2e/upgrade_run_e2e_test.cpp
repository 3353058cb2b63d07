// A device without packages after a failed upgrade run halts for good.
#include "e2e_helpers.h"

TEST(UpgradeRun, AnEmptyDeviceHaltsForGood) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  testing_support::DeviceRoot root;
  testing_support::makeDirs(root.at("/flash/rw/pckg"));
  testing_support::writeFile(root.at("/flash/rw/pckg/broken.tpk"), "not a package");
  testing_support::ProcessOptions options;
  options.timeLimitSeconds = 5;
  const auto result = root.run({}, options);
  EXPECT_EQ(result.stateAtTimeLimit, 'S') << "the installer should wait, idle, until it is ended";
  const std::string end = "\n\nERROR: router installation failed!!!\nPlease, reinstall.\n";
  EXPECT_TRUE(result.output.ends_with(end)) << result.output;
  EXPECT_FALSE(testing_support::exists(root.at("/flash/postlog")));
  EXPECT_FALSE(testing_support::exists(root.at("/flash/PCKGS_CHANGED")));
}
