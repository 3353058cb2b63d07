// The RAM budget, the moves to the RAM disk and back, run in a scratch root.
#include <gtest/gtest.h>

#include "support/chroot_runner.h"
#include "support/installer_process.h"
#include "upgrade/move_file.h"
#include "upgrade/ram_budget.h"

namespace {

using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::readFile;
using testing_support::writeFile;

std::string meminfo(unsigned freeKiB, unsigned buffersKiB, unsigned cachedKiB) {
  return "MemTotal: 262144 kB\nMemFree: " + std::to_string(freeKiB) +
         " kB\nBuffers: " + std::to_string(buffersKiB) +
         " kB\nCached: " + std::to_string(cachedKiB) + " kB\n";
}

TEST(RamBudget, FreeBuffersAndCachedLessEightMiBUpTo128MiB) {
  const struct {
    std::string text;
    std::uint32_t budget;
  } cases[] = {
      {meminfo(20480, 10240, 10240), 32u << 20},  // 40 MiB available
      {meminfo(8192, 0, 0), 0},                   // exactly the reserve
      {meminfo(8191, 0, 0), 0},
      {meminfo(8193, 0, 0), 1024},
      {meminfo(139263, 0, 0), 131071u << 10},
      {meminfo(139265, 0, 0), 128u << 20},  // capped
      {meminfo(0xFFFFFFFFu, 1, 0), 0},      // the sum wraps: 0 KiB
      {"MemFree: 40960 kB\nMemTotal: 1 kB\nBuffers: 0 kB\nCached: 0 kB\n", 0},  // other layout
      {"MemTotal: 1 kB\nMemFree: 40960 kB\nBuffers: 0 kB\n", 0},                // a line missing
      {"", 0},
  };
  testing_support::ScratchDir dir;
  for (const auto& c : cases) {
    writeFile(dir.path() + "/meminfo", c.text);
    EXPECT_EQ(ramBudget((dir.path() + "/meminfo").c_str()), c.budget) << c.text;
  }
  EXPECT_EQ(ramBudget((dir.path() + "/missing").c_str()), 0u);
}

TEST(MoveFile, LeavesTheSourceWhereverTheCopyFails) {
  DeviceRoot root;
  makeDirs(root.at("/ram"));
  const std::string big(64 * 1024, 'x');
  writeFile(root.at("/flash/a.tpk"), big);
  writeFile(root.at("/flash/b.tpk"), "small");
  testing_support::ChrootOptions tinyRam;
  tinyRam.tmpfsAt = "/ram";
  tinyRam.tmpfsBytes = 16 * 1024;
  RUN_CHROOTED(
      root.path(),
      [] {
        EXPECT_FALSE(moveFile("/flash/a.tpk", "/ram/a.tpk"));  // the RAM disk is full
        EXPECT_FALSE(moveFile("/flash/a.tpk", "/nowhere/a.tpk"));
        EXPECT_FALSE(moveFile("/flash/missing.tpk", "/ram/missing.tpk"));
        EXPECT_FALSE(moveFile("/flash", "/ram/flash"));  // not a regular file
        EXPECT_TRUE(moveFile("/flash/b.tpk", "/ram/b.tpk"));
      },
      tinyRam);
  EXPECT_EQ(readFile(root.at("/flash/a.tpk")), big);
  EXPECT_FALSE(exists(root.at("/flash/b.tpk")));
  EXPECT_FALSE(exists(root.at("/ram/flash")));
}

TEST(MoveToRam, OrdinaryFilesBelowWhatIsLeftOfTheBudget) {
  DeviceRoot root;
  makeDirs(root.at("/ram"));
  makeDirs(root.at("/flash/rw/pckg"));
  for (const char* name : {"a.tpk", "b.tpk", "image.tpk", "c.tpk"})
    writeFile(root.at(std::string("/flash/rw/pckg/") + name), name);
  RUN_CHROOTED(root.path(), [] {
    Candidates candidates;
    const auto add = [&](const char* name, std::uint32_t length, bool isImage) {
      auto file = std::make_unique<PackageFile>();
      file->name = name;
      file->path = file->foundPath = std::string("/flash/rw/pckg/") + name + ".tpk";
      file->length = length;
      file->isImage = isImage;
      candidates.push_back(std::move(file));
    };
    add("a", 600, false);
    add("b", 400, false);  // 400 left: the comparison is strict
    add("image", 1, true);
    add("c", 399, false);
    Candidates reinstallList = moveToRam(candidates, reinstall, 1000);
    EXPECT_EQ(reinstallList[0]->path, "/flash/rw/pckg/a.tpk");  // with reinstall nothing moves
    const Candidates moved = moveToRam(reinstallList, allowUpgrade, 1000);
    ASSERT_EQ(moved.size(), 4u);
    const char* paths[] = {"/ram/a.tpk", "/flash/rw/pckg/b.tpk", "/flash/rw/pckg/image.tpk",
                           "/ram/c.tpk"};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(moved[i]->path, paths[i]);
    EXPECT_EQ(moved[0]->foundPath, "/flash/rw/pckg/a.tpk");
  });
  EXPECT_EQ(readFile(root.at("/ram/a.tpk")), "a.tpk");
  EXPECT_FALSE(exists(root.at("/flash/rw/pckg/a.tpk")));
  EXPECT_TRUE(exists(root.at("/flash/rw/pckg/b.tpk")));
}

}  // namespace
