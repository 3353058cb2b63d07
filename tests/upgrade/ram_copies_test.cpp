// The RAM budget and the moves to the RAM disk, run in a scratch root.
#include <gtest/gtest.h>

#include <unistd.h>

#include "files/device_root.h"
#include "pkgfile/regular_file.h"
#include "support/installer_process.h"
#include "upgrade/ram_budget.h"

namespace {

using namespace testing_support;

TEST(RamBudget, FreeBuffersAndCachedLessEightMiBUpTo128MiB) {
  ScratchDir dir;
  const std::string file = dir.path() + "/meminfo";
  const std::vector<std::string> lines = dataLines("upgrade/ram-budgets.txt");
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    std::string text = line.substr(line.find('\t') + 1);
    replaceAll(text, "\\n", "\n");
    writeFile(file, text);
    EXPECT_EQ(ramBudget(file.c_str()), std::stoul(line)) << line;
  }
  EXPECT_EQ(ramBudget((dir.path() + "/missing").c_str()), 0u);
}

TEST(MoveToRam, OrdinaryFilesBelowWhatIsLeftOfTheBudget) {
  DeviceRoot root;
  makeDirs(root.at("/ram"));
  makeDirs(root.at("/flash/rw/pckg"));
  for (const char* name : {"a.tpk", "b.tpk", "image.tpk", "c.tpk"})
    writeFile(root.at(std::string("/flash/rw/pckg/") + name), name);
  {
    const ScopedDeviceRoot device(root.path());
    Candidates candidates;  // b: 400 left, the comparison is strict
    for (const auto& [name, length] : {std::pair{"a", 600}, {"b", 400}, {"image", 1}, {"c", 399}}) {
      PackageFile& file = *candidates.emplace_back(std::make_unique<PackageFile>());
      file.name = name;
      file.path = file.foundPath = "/flash/rw/pckg/" + file.name + ".tpk";
      file.length = length;
      file.isImage = file.name == "image";
      file.descriptor = openRegularFile(file.path);
    }
    // Put in a's place by name after it was opened: the copy is of what was opened.
    writeFile(root.at("/flash/rw/pckg/other"), "other");
    ::rename(root.at("/flash/rw/pckg/other").c_str(), root.at("/flash/rw/pckg/a.tpk").c_str());
    RamMoves moves;
    Candidates reinstallList = moveToRam(candidates, reinstall, 1000, moves);
    EXPECT_EQ(reinstallList[0]->path, "/flash/rw/pckg/a.tpk");  // with reinstall nothing moves
    const Candidates moved = moveToRam(reinstallList, allowUpgrade, 1000, moves);
    ASSERT_EQ(moved.size(), 4u);
    const char* paths[] = {"/ram/a.tpk", "/flash/rw/pckg/b.tpk", "/flash/rw/pckg/image.tpk",
                           "/ram/c.tpk"};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(moved[i]->path, paths[i]);
    EXPECT_EQ(moved[0]->foundPath, "/flash/rw/pckg/a.tpk");
    char held[8] = {};
    EXPECT_EQ(::pread(moved[0]->descriptor, held, sizeof held, 0), 5);
    EXPECT_STREQ(held, "a.tpk");
  }
  EXPECT_EQ(readFile(root.at("/ram/a.tpk")), "a.tpk");
  EXPECT_FALSE(exists(root.at("/flash/rw/pckg/a.tpk")));
  EXPECT_TRUE(exists(root.at("/flash/rw/pckg/b.tpk")));
}

}  // namespace
