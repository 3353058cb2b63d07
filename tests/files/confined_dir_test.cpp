// The confined resolver on a scratch tree (the base's absolute path stands for
// "/flash"), and the one write loop.
#include "files/confined_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "files/file_platform.h"
#include "files/write_all.h"
#include "support/scratch_dir.h"

using namespace testing_support;

namespace {

struct Tree : ScratchDir {
  Tree() {
    for (const char* dir : {"flash/a/b", "flash/var/pdb", "outside"}) makeDirs(*this / dir);
    writeFile(*this / "flash/file", "");
    for (const std::string& line : dataLines("files/confined-links.txt")) {
      std::string name = wordsOf(line)[0], target = wordsOf(line)[1];
      replaceAll(target, "~", path());
      EXPECT_EQ(0, ::symlink(target.c_str(), (*this / ("flash/" + name)).c_str())) << name;
    }
  }
};

ino_t inodeOf(int fd) {
  struct stat info {};
  ::fstat(fd, &info);
  return info.st_ino;
}

ino_t inodeAt(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_ino;
}

}  // namespace

TEST(ConfinedDir, FollowsLinksOnlyWhileTheWalkStaysBelowTheBase) {
  Tree tree;
  for (const bool afresh : {true, false}) {  // each from the base, then after the last path
    ConfinedDir flash(tree / "flash");
    for (const std::string& line : dataLines("files/confined-paths.txt")) {
      SCOPED_TRACE(line);
      const std::vector<std::string> words = wordsOf(line);
      const std::string path = words[0] == "-" ? "" : words[0];
      std::optional<ConfinedDir> own;
      if (afresh) own.emplace(tree / "flash");
      ConfinedDir& dir = afresh ? *own : flash;
      const Confinement result = dir.resolve(path, false);
      const int error = errno;
      ASSERT_EQ(words[1], result == Confinement::Inside    ? "inside"
                          : result == Confinement::Outside ? "outside"
                                                           : "failed");
      if (words[1] == "failed") {
        EXPECT_EQ(line.substr(line.find(" failed ") + 8), strerror(error));
      }
      if (words[1] != "inside") continue;
      const std::string real = words[2] == "-" ? "" : words[2];
      EXPECT_EQ(inodeAt(tree / ("flash/" + real)), inodeOf(dir.place().fd));
      EXPECT_EQ(real, dir.place().head);
      EXPECT_EQ(real.empty() ? 0 : 1 + std::count(real.begin(), real.end(), '/'),
                std::ptrdiff_t(dir.place().depth));
    }
  }
  ConfinedDir flash(tree / "flash");  // levels of a link's target are never made
  EXPECT_EQ(Confinement::Failed, flash.resolve("dang/x", true));
  EXPECT_FALSE(exists(tree / "flash/nothere"));
  EXPECT_EQ(Confinement::Inside, flash.resolve("new/level", true));
  EXPECT_EQ(inodeAt(tree / "flash/new/level"), inodeOf(flash.place().fd));
}

TEST(ConfinedDir, ATreeCostsOneOpenPerLevelHoweverDeepWithFewDescriptors) {
  constexpr int depth = 150;
  ScratchDir scratch;
  makeDirs(scratch / "flash");
  rlimit open{}, few{};
  ::getrlimit(RLIMIT_NOFILE, &open);
  few = open;
  few.rlim_cur = 48;
  ::setrlimit(RLIMIT_NOFILE, &few);
  ConfinedDir flash(scratch / "flash");
  std::string path;
  const std::uint64_t before = fileCallCount();
  for (int level = 0; level < depth; ++level) {
    path += "d/";
    ASSERT_EQ(Confinement::Inside, flash.resolve(path, true)) << level;
  }
  ::setrlimit(RLIMIT_NOFILE, &open);
  EXPECT_GE(3u * depth, fileCallCount() - before);  // open, make, open again per level
  EXPECT_EQ(std::size_t(depth), flash.place().depth);
  // Back above the levels still held: walked from the base again.
  ASSERT_EQ(Confinement::Inside, flash.resolve("d/d/d", false));
  EXPECT_EQ(inodeAt(scratch / "flash/d/d/d"), inodeOf(flash.place().fd));
}

TEST(ConfinedDir, KeptTimesComeBackWhenADirectoryIsLeft) {
  ScratchDir scratch;
  makeDirs(scratch / "flash/t");
  ConfinedDir flash(scratch / "flash");
  ASSERT_EQ(Confinement::Inside, flash.resolve("", false));
  filePlatform().setTimesAt(flash.place().fd, "t", 1000, 0);
  EXPECT_LT(0u, flash.keepTimes("t", 1000));
  ASSERT_EQ(Confinement::Inside, flash.resolve("t", false));
  ::close(filePlatform().openAt(flash.place().fd, "f", O_WRONLY | O_CREAT, 0600));
  ASSERT_EQ(Confinement::Inside, flash.resolve("", false));
  struct stat info {};
  ::stat((scratch / "flash/t").c_str(), &info);
  EXPECT_EQ(1000, info.st_mtime);
}

TEST(WriteAll, ShortWritesContinueAndAWriteWithoutProgressIsAnError) {
  struct Trickle : DeviceFilePlatform {
    bool stuck = false;
    int stuckWrites = 0;  // a loop that takes 0 as progress meets a real error at last
    ssize_t write(int fd, const void* bytes, std::size_t) override {
      if (stuck) return ++stuckWrites > 100 ? (errno = ENOSPC, -1) : 0;
      return DeviceFilePlatform::write(fd, bytes, 1);
    }
  } trickle;
  ScratchDir scratch;
  ScopedFilePlatform use(trickle);
  const int fd = ::open((scratch / "f").c_str(), O_WRONLY | O_CREAT, 0600);
  EXPECT_EQ(writeAll(fd, "abc", 3), WriteResult::Written);
  trickle.stuck = true;
  EXPECT_EQ(writeAll(fd, "d", 1), WriteResult::NotWritten);
  EXPECT_EQ(EIO, errno);
  ::close(fd);
  EXPECT_EQ("abc", readFile(scratch / "f"));
}
