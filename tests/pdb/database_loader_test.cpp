// The database loader: meta files, state flags, schedule files and images.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/chroot_runner.h"
#include "pdb_test_helpers.h"
#include "pdb/database_loader.h"
#include "pkgwriter/pkgwriter.h"
#include "support/installer_process.h"

using namespace pdb_testing;
using namespace testing_support;

// The cases are described in loader.tree.
TEST(DatabaseLoader, EntriesSchedulesAndImages) {
  DeviceRoot root;
  plantTree(root.path(), expected("loader.tree"));
  // A named pipe is not read (with no writer it would block the start).
  const std::string pipe = root.at("/ram/pdb/piped/schedule");
  makeDirs(root.at("/ram/pdb/piped"));
  ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
  const int writer = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_EQ(10, ::write(writer, "uninstall\n", 10));
  // A header whose name would leave the database: the record keeps its
  // directory's name (and, without meta files, is marked for removal); a
  // bundle member so named is not recorded, the members after it are.
  pkgwriter::PackageLayout dots, inner;
  dots.name = "..";
  dots.version = 7;
  inner.name = "inner";
  makeDirs(root.at("/flash/var/pdb/dots"));
  writeFile(root.at("/flash/var/pdb/dots/image"), pkgwriter::buildPackageFile(dots));
  pkgwriter::BundleLayout bundle;
  bundle.name = "outer";
  bundle.members = {pkgwriter::buildPackageBody(dots), pkgwriter::buildPackageBody(inner)};
  makeDirs(root.at("/flash/var/pdb/outer"));
  writeFile(root.at("/flash/var/pdb/outer/image"), pkgwriter::buildBundleFile(bundle));

  const std::string loaded = expected("loaded.txt");
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
