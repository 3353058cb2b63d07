#include "install/flash_queries.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "install/flash_platform.h"
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
  struct Case {
    std::uint32_t processor;
    std::optional<int> feature;
    DeviceVariant expected;
    bool asksFlash;
  } cases[] = {
      // The two revisions that come with either flash: the feature bit decides.
      {0x80211020, 16, variantCore2x, true},
      {0x80211020, 0, variantPlainFlashCore, true},
      {0x802110FF, std::nullopt, variantPlainFlashCore, true},  // no /dev/flash
      {0x80212100, 0x10, variantCore2x, true},
      {0x80212155, 0xEF, variantPlainFlashCore, true},
      // Other revisions of the same processor: low version byte 0x21, no flash query.
      {0x80211100, std::nullopt, variantCore2x, false},
      {0x80212000, std::nullopt, variantCore2x, false},
      {0x80200030, std::nullopt, variantCore2x, false},
      {0x00210000, std::nullopt, variantCore2x, false},
      {0x80830000, std::nullopt, variantCore8x, false},
      {0x00840021, std::nullopt, variantCore8x, false},
      {0x80851010, std::nullopt, variantCore8x, false},
      {0x80820000, std::nullopt, variantNone, false},
      {0x80860000, std::nullopt, variantNone, false},
      {0x13020010, std::nullopt, variantCore1302, false},
      {0x13030000, std::nullopt, variantNone, false},
      {0x02130000, std::nullopt, variantNone, false},
      {0x00001302, std::nullopt, variantNone, false},  // revision bits are not the version
      {0x00000000, std::nullopt, variantNone, false},
      {0x004E1200, std::nullopt, variantNone, false},
  };
  for (const Case& c : cases) {
    FakeDevice device;
    device.processor = c.processor;
    device.feature = c.feature;
    ScopedFlashPlatform use(device);
    EXPECT_EQ(deviceVariant(), c.expected) << std::hex << c.processor;
    EXPECT_EQ(device.featureQueries > 0, c.asksFlash) << std::hex << c.processor;
  }
}

// Runs the device's own platform layer in a child whose root is dir and
// returns what the queries answered, one character each.
std::string queryInRoot(const std::string& dir) {
  int channel[2];
  if (pipe(channel) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    std::string answers;
    if (chroot(dir.c_str()) != 0 || chdir("/") != 0) {
      answers = std::string("chroot: ") + std::strerror(errno);
    } else {
      FlashPlatform& device = deviceFlashPlatform();
      answers += device.mtdEraseSize() ? 'E' : '-';
      answers += device.minimumVersionValue() != 0 ? 'M' : '-';
      answers += device.featureWord() ? 'F' : '-';
      answers += flashEraseSizeIs256K() ? 'e' : '-';
      answers += flashMinimumVersion() != 0 ? 'm' : '-';
      answers += flashFeatureBit() ? 'f' : '-';
      answers += static_cast<char>('0' + deviceVariant());
    }
    (void)!write(channel[1], answers.data(), answers.size());
    _exit(0);
  }
  close(channel[1]);
  std::string answers;
  char buffer[256];
  ssize_t got;
  while ((got = read(channel[0], buffer, sizeof buffer)) > 0) answers.append(buffer, static_cast<std::size_t>(got));
  close(channel[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return answers;
}

// The programs run where the build says they do: the device's build big-endian
// with 32-bit sizes (under emulation, on the emulated processor), the native
// one little-endian. A build or emulator set up for another machine fails here
// instead of passing every other test on the wrong one.
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
  if (geteuid() != 0) GTEST_SKIP() << "changing root needs root";
  // Off PowerPC the register reads as 0, and the emulated processor is none of
  // the listed kinds either: variant 0.
  ScratchDir withoutDev;
  const std::string answers = queryInRoot(withoutDev.path());
  if (answers.rfind("chroot:", 0) == 0) GTEST_SKIP() << answers;
  EXPECT_EQ(answers, "------0");

  // Nodes that open but refuse every request (plain files).
  ScratchDir withFiles;
  testing_support::makeDirs(withFiles / "dev");
  testing_support::writeFile(withFiles / "dev/mtd0", "");
  testing_support::writeFile(withFiles / "dev/flash", "");
  EXPECT_EQ(queryInRoot(withFiles.path()), "------0");
}

}  // namespace
