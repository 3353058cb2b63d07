#include "install/flash_queries.h"

#include <sys/utsname.h>

#include "install_fixture.h"

using namespace install_testing;

TEST(FlashQueries, EraseSize) {
  FakeFlash device;
  ScopedFlashPlatform use(device);
  using Size = std::optional<std::uint32_t>;  // none: a missing node or a refused request
  for (Size size : {Size(0x20000), Size(0x80000), Size(0x3FFFF), Size(0), Size(), Size(0x40000)}) {
    device.eraseSize = size;
    EXPECT_EQ(size == 0x40000u, flashEraseSizeIs256K()) << std::hex << size.value_or(0);
  }
}

TEST(FlashQueries, DeviceVariantTable) {
  const std::vector<std::string> lines = dataLines("install/device-variants.txt");
  ASSERT_EQ(21u, lines.size());
  for (const std::string& line : lines) {
    const std::vector<std::string> row = wordsOf(line);  // processor feature variant asks
    FakeFlash device;
    device.processor = std::uint32_t(std::stoul(row.at(0), nullptr, 16));
    if (row.at(1) != "-") device.feature = std::stoi(row[1]);
    ScopedFlashPlatform use(device);
    EXPECT_EQ(int(deviceVariant()), std::stoi(row.at(2))) << line;
    EXPECT_EQ(device.featureQueries > 0, row.at(3) == "yes") << line;
  }
}

TEST(FlashPlatformOnThisMachine, RunsOnTheBuildsTarget) {
  const std::uint32_t word = 0x01020304;
  utsname system{};
  ASSERT_EQ(uname(&system), 0);
  const std::string here =
      std::string(INSTALLER_TARGET_PROCESSOR) + ' ' + system.machine +
      (*reinterpret_cast<const unsigned char*>(&word) == 1 ? " big " : " little ") +
      std::to_string(sizeof(std::size_t) * 8);
  std::string expected;
  for (const std::string& line : dataLines("install/targets.txt"))
    if (line.starts_with(INSTALLER_TARGET_PROCESSOR + std::string(" "))) expected = line;
  if (expected.empty()) GTEST_SKIP() << "no expectations for " << INSTALLER_TARGET_PROCESSOR;
  EXPECT_EQ(expected, here);
  // The real register read: the emulated processor's version, 0 off PowerPC.
  EXPECT_EQ(deviceFlashPlatform().processorVersion(),
            std::uint32_t(INSTALLER_EMULATED_PROCESSOR_VERSION));
}

TEST(FlashPlatformOnThisMachine, MissingOrForeignNodesGiveNeutralAnswers) {
  ScratchDir withoutDev, withFiles;  // nodes that open but refuse every request: plain files
  makeDirs(withFiles / "dev");
  writeFile(withFiles / "dev/mtd0", "");
  writeFile(withFiles / "dev/flash", "");
  for (const ScratchDir* dir : {&withoutDev, &withFiles}) {
    const ScopedDeviceRoot scoped(dir->path());  // the device's own answers, one per query
    FlashPlatform& device = deviceFlashPlatform();
    std::string text;
    text += device.mtdEraseSize() ? 'E' : '-';
    text += device.minimumVersionValue() != 0 ? 'M' : '-';
    text += device.featureWord() ? 'F' : '-';
    text += flashEraseSizeIs256K() ? 'e' : '-';
    text += flashMinimumVersion() != 0 ? 'm' : '-';
    text += flashFeatureBit() ? 'f' : '-';
    EXPECT_EQ(text + static_cast<char>('0' + deviceVariant()), "------0") << dir->path();
  }
}
