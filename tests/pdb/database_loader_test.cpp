// The database loader: meta files, state flags, schedule files and images.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "support/chroot_runner.h"
#include "pdb_test_helpers.h"
#include "pdb/database_loader.h"
#include "pkgwriter/pkgwriter.h"
#include "support/installer_process.h"

using namespace pdb_testing;
using namespace testing_support;

namespace {

void writeEntry(const DeviceRoot& root, const std::string& name,
                const std::vector<std::pair<std::string, std::string>>& files) {
  const std::string dir = root.at("/flash/var/pdb/" + name + "/");
  makeDirs(dir);
  for (const auto& [file, content] : files) writeFile(dir + file, content);
}

std::string sample(const std::string& name) {
  return readFile(std::string(TEST_DATA_DIR) + "/packages/" + name);
}

}  // namespace

TEST(DependencyListReader, ReadsEntriesAndStopsAtAMalformedOne) {
  const struct {
    std::string content;
    bool withExtra, ok;
    const char* entries;
  } cases[] = {
      // Line breaks carry no meaning; extra is signed.
      {"api 1 4294967295 -1\nb\n2 3\n0\n", true, true, "[api:1:4294967295:-1 b:2:3:0 ]"},
      // The entries before a malformed one stay: a short line, a provides line
      // without its extra, a number too large for 32 bits.
      {"a 1 2\nb 3\nc 4 5\n", false, false, "[a:1:2:0 ]"},
      {"x 1 2\n", true, false, "[]"},
      {"x 4294967296 2\n", false, false, "[]"},
      // A name longer than the path limit is not held.
      {std::string(PATH_MAX + 1, 'n') + " 1 2\n", false, false, "[]"},
  };
  ScratchDir scratch;
  for (const auto& c : cases) {
    std::vector<Dependency> list;
    writeFile(scratch / "list", c.content);
    EXPECT_EQ(c.ok, readDependencyList(scratch / "list", list, c.withExtra)) << c.content.substr(0, 20);
    EXPECT_EQ(c.entries, listText(list)) << c.content.substr(0, 20);
  }
  // A missing file is an empty list; appending keeps what was there.
  std::vector<Dependency> list = {{"keep", 0, 0, 0}};
  EXPECT_TRUE(readDependencyList(scratch / "missing", list, false));
  EXPECT_EQ(1u, list.size());
}

// Schedule files are consumed, but not a placeholder's (both version fields at
// 0xFFFFFFFF). Without a version: Uninstall unless scheduled otherwise. Without
// a schedule, unreadable meta files mark for removal; a disabled file says who
// disabled (anything but "auto" is the user) and wins over an enabled file.
TEST(DatabaseLoader, ScheduleAndStateFiles) {
  DeviceRoot root;
  plantTree(root.path(), expected("schedules.tree"));
  // A path longer than the limit is not held: the files list is unreadable.
  writeEntry(root, "longpath", {{"version", "1 2\n"}, {"files", std::string(PATH_MAX + 1, 'p')}});
  // A named pipe is not read (with no writer it would block the start).
  const std::string pipe = root.at("/ram/pdb/piped/schedule");
  makeDirs(root.at("/ram/pdb/piped"));
  ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
  const int writer = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_EQ(10, ::write(writer, "uninstall\n", 10));
  const std::string loaded = expected("schedules-loaded.txt");
  RUN_CHROOTED(root.path(), [&loaded] {
    Console& console = childConsole();
    loadDatabase(console, true, "i386");
    EXPECT_TRUE(console.quiet);
    EXPECT_EQ("i386", console.arch);
    EXPECT_EQ(loaded, loadedText(console.packages));
  });
  EXPECT_EQ("== holder/schedule\nuninstall\n", treeText(root.at("/ram/pdb")));
  ::close(writer);
}

// Records from images: a bundle's members and then the bundle itself; the
// header of an image and, where it cannot be used, the directory's meta files.
TEST(DatabaseLoader, ImageRecordsAndTheirDirectories) {
  DeviceRoot root;
  // The bundle's state and schedule come from its directory; its meta files are not read.
  writeEntry(root, "smp-bundle", {{"image", sample("sample-bundle.tpk")}, {"disabled", "auto\n"}});
  plantTree(root.path(), "== ram/pdb/smp-bundle/schedule\nuninstall");
  // Only the describing parts are read: the type-16 part and the image flag are not wanted.
  writeEntry(root, "smp-image", {{"image", sample("sample-image.tpk")}, {"enabled", "user\n"}});
  // A header naming another package: the directory is loaded once more under
  // its own name, from its meta files.
  writeEntry(root, "renamed", {{"image", sample("sample-relations.tpk")}, {"version", "9 10\n"}, {"files", "a\n"}});
  // A second image place, used when the entry has no image of its own; an
  // image there without a database entry is not loaded.
  writeEntry(root, "smp-plain", {});
  makeDirs(root.at("/rw/pckg/.images"));
  writeFile(root.at("/rw/pckg/.images/smp-plain"), sample("sample-plain.tpk"));
  writeFile(root.at("/rw/pckg/.images/stray"), sample("sample-plain.tpk"));
  // A truncated header: the directory's name and meta files.
  writeEntry(root, "cut", {{"image", sample("sample-plain.tpk").substr(0, 30)}, {"version", "3 4\n"}, {"files", ""}});
  // A header whose name would leave the database: the record keeps its
  // directory's name (and, without meta files, is marked for removal); a
  // bundle member so named is not recorded, the members after it are.
  pkgwriter::PackageLayout dots, inner;
  dots.name = "..";
  dots.version = 7;
  dots.note = "passed over";
  inner.name = "inner";
  writeEntry(root, "dots", {{"image", pkgwriter::buildPackageFile(dots)}});
  pkgwriter::BundleLayout bundle;
  bundle.name = "outer";
  bundle.members = {pkgwriter::buildPackageBody(dots), pkgwriter::buildPackageBody(inner)};
  writeEntry(root, "outer", {{"image", pkgwriter::buildBundleFile(bundle)}});

  const std::string loaded = expected("images-loaded.txt");
  RUN_CHROOTED(root.path(), [&loaded] {
    Console& console = childConsole();
    loadDatabase(console, false, "i386");
    EXPECT_EQ(loaded, loadedText(console.packages));
  });
  EXPECT_FALSE(exists(root.at("/ram/pdb/smp-bundle/schedule")));
}
