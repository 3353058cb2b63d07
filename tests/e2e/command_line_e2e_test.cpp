// A root that cannot be entered ends the run: it must not go on in the real
// root (--show keeps even a faulty installer from writing there).
#include <gtest/gtest.h>

#include "support/installer_process.h"

TEST(InstallerCommandLine, ARootThatCannotBeEnteredEndsTheRun) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  testing_support::DeviceRoot root;
  const auto result = testing_support::runBuiltProgram(
      INSTALLER_BINARY, {INSTALLER_BINARY, "-r", root.at("/no/such/root"), "--show"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(result.errors.rfind("chroot: ", 0), 0u) << result.errors;
}
