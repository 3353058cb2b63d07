#include "install/flash_queries.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <optional>
#include <string>
#include <string_view>

#include "install/flash_platform.h"
#include "support/chroot_runner.h"
#include "support/scratch_dir.h"

namespace {

using testing_support::ScratchDir;

// The answers of a device, set by each test.
struct FakeDevice : FlashPlatform {
  std::optional<std::uint32_t> eraseSize;
  std::uint32_t minimumVersion = 0;
  std::optional<int> feature;
  std::uint32_t processor = 0;
  int featureQueries = 0;

  std::optional<std::uint32_t> mtdEraseSize() override { return eraseSize; }
  std::uint32_t minimumVersionValue() override { return minimumVersion; }
  std::optional<int> featureWord() override {
    ++featureQueries;
    return feature;
  }
  std::uint32_t processorVersion() override { return processor; }
};

TEST(FlashQueries, EraseSizeAndFeatureBit) {
  FakeDevice device;
  ScopedFlashPlatform use(device);
  // A missing node or a refused request (nullopt) is not 256K either.
  using Size = std::optional<std::uint32_t>;
  for (Size size : {Size(0x20000), Size(0x80000), Size(0x3FFFF), Size(0), Size()}) {
    device.eraseSize = size;
    EXPECT_FALSE(flashEraseSizeIs256K()) << std::hex << size.value_or(0);
  }
  device.eraseSize = 0x40000;
  EXPECT_TRUE(flashEraseSizeIs256K());

  EXPECT_FALSE(flashFeatureBit());  // no /dev/flash
  device.feature = 0x7FFFFFEF;  // every bit but bit 4
  EXPECT_FALSE(flashFeatureBit());
  device.feature = 0x30;
  EXPECT_TRUE(flashFeatureBit());
}

TEST(FlashQueries, DeviceVariantTable) {
  std::ifstream cases(std::string(TEST_DATA_DIR) + "/install/device-variants.txt");
  int rows = 0;
  for (std::string line; std::getline(cases, line);) {
    std::istringstream row(line);
    std::string processor, feature, asksFlash;
    int expected;
    if (line[0] == '#' || !(row >> processor >> feature >> expected >> asksFlash)) continue;
    FakeDevice device;
    device.processor = std::uint32_t(std::stoul(processor, nullptr, 16));
    if (feature != "-") device.feature = std::stoi(feature);
    ScopedFlashPlatform use(device);
    EXPECT_EQ(int(deviceVariant()), expected) << line;
    EXPECT_EQ(device.featureQueries > 0, asksFlash == "yes") << line;
    ++rows;
  }
  EXPECT_EQ(rows, 21);
}

// What the device's own platform layer answers, one character per query.
std::string answers() {
  FlashPlatform& device = deviceFlashPlatform();
  std::string text;
  text += device.mtdEraseSize() ? 'E' : '-';
  text += device.minimumVersionValue() != 0 ? 'M' : '-';
  text += device.featureWord() ? 'F' : '-';
  text += flashEraseSizeIs256K() ? 'e' : '-';
  text += flashMinimumVersion() != 0 ? 'm' : '-';
  text += flashFeatureBit() ? 'f' : '-';
  return text + static_cast<char>('0' + deviceVariant());
}

// A build or emulator set up for another machine fails here, not silently elsewhere.
TEST(FlashPlatformOnThisMachine, RunsOnTheBuildsTarget) {
  struct Target {
    std::string_view processor;  // the build's target
    std::string_view machine;    // what uname reports while it runs
    bool bigEndian;
    std::size_t sizeBits;
  };
  constexpr Target targets[] = {{"powerpc", "ppc", true, 32}, {"x86_64", "x86_64", false, 64}};
  const Target* target = nullptr;
  for (const Target& t : targets)
    if (t.processor == INSTALLER_TARGET_PROCESSOR) target = &t;
  if (target == nullptr) GTEST_SKIP() << "no expectations for " << INSTALLER_TARGET_PROCESSOR;

  const std::uint32_t word = 0x01020304;
  unsigned char bytes[4];
  std::memcpy(bytes, &word, sizeof word);
  EXPECT_EQ(bytes[0] == 0x01, target->bigEndian);
  EXPECT_EQ(sizeof(std::size_t) * 8, target->sizeBits);
  utsname system{};
  ASSERT_EQ(uname(&system), 0);
  EXPECT_EQ(system.machine, target->machine);
  // The real register read: the emulated processor's version, 0 off PowerPC.
  EXPECT_EQ(deviceFlashPlatform().processorVersion(),
            std::uint32_t(INSTALLER_EMULATED_PROCESSOR_VERSION));
}

TEST(FlashPlatformOnThisMachine, MissingOrForeignNodesGiveNeutralAnswers) {
  ScratchDir withoutDev;
  RUN_CHROOTED(withoutDev.path(), [] { EXPECT_EQ(answers(), "------0"); });
  // Nodes that open but refuse every request (plain files).
  ScratchDir withFiles;
  testing_support::makeDirs(withFiles / "dev");
  testing_support::writeFile(withFiles / "dev/mtd0", "");
  testing_support::writeFile(withFiles / "dev/flash", "");
  RUN_CHROOTED(withFiles.path(), [] { EXPECT_EQ(answers(), "------0"); });
}

}  // namespace
