// What the extractor says when the flash refuses a directory.
#include "install_fixture.h"

using namespace install_testing;

// The device is asked for its variant between the failed directory and the
// report: the report still gives the directory's own reason.
TEST(ExtractionReports, ADirectoryWithoutRoomIsReportedAsSuch) {
  struct NoRoomForDirectories : DeviceFilePlatform {
    int makeDirAt(int, const char*, mode_t) override { return errno = ENOSPC, -1; }
  } full;
  struct DriverMissing : testing_support::FakeFlash {
    std::optional<int> featureWord() override { return errno = ENOENT, std::nullopt; }
  } device;
  device.processor = 0x80211000;  // a revision whose variant the flash driver decides
  const std::string file = packageFile(signedLayout("bad", "100644:d/x:x:0,0,0,4"));
  DeviceRoot root;
  const ScopedDeviceRoot scoped(root.path());
  ScopedFlashPlatform variant(device);
  ScopedFilePlatform platform(full);
  CapturedConsole out;
  InstalledPackage package("bad");
  package.version = testVersion;
  EXPECT_FALSE(installFile(out.console, package, file, true));
  EXPECT_EQ(Messages{"ERROR: installation of bad-1.0 failed: disk is too small"},
            out.console.messages);
}
