// The database loader, and what the writer writes (exact bytes) and the loader reads back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pdb/database_loader.h"
#include "pdb/database_writer.h"
#include "pdb_test_helpers.h"
#include "pkgwriter/pkgwriter.h"
#include "support/chroot_runner.h"
#include "support/installer_process.h"

using namespace pdb_testing;
using namespace testing_support;

namespace {

std::vector<std::unique_ptr<InstalledPackage>> recordShapes() {
  std::vector<std::unique_ptr<InstalledPackage>> shapes;
  // state: 'd' disabled, 'u' user forced, 'i' image, 'b' bundle
  auto add = [&shapes](const char* name, Version version, std::uint32_t buildTime,
                       std::string_view state = "") {
    auto& pkg = *shapes.emplace_back(std::make_unique<InstalledPackage>(name));
    pkg.version = version;
    pkg.buildTime = buildTime;
    const auto has = [state](char flag) { return state.find(flag) != std::string_view::npos; };
    pkg.disabled = has('d'), pkg.userForced = has('u'), pkg.isImage = has('i'),
    pkg.isBundle = has('b');
    return &pkg;
  };
  add("bare", 0x02036601, 1704067200)->files = {"/bin/x", "/lib/y"};
  InstalledPackage* full = add("full", 0x03146301, 1704067200, "u");
  full->deps = {{"system", 100689408, 117466624, 7}, {"lib", 0, 0xFFFFFFFF, 0}};
  full->provides = {{"api", 1, 0xFFFFFFFF, -1}, {"wide", 0xFFFFFFFF, 0xFFFFFFFF, 2147483647}};
  full->conflicts = {{"old", 0, 16803328, 0}};
  full->bundle = {"suite", 5, 5, 0};
  full->files = {"/opt/a", "/opt/b/c", "", "noslash"};
  add("only-deps", 1, 0)->deps = {{"x", 0, 0, 0}};
  add("only-provides", 2, 0)->provides = {{"p", 0, 0, -2147483647 - 1}};
  add("only-conflicts", 3, 0)->conflicts = {{"c", 5, 6, 0}};
  add("disabled-auto", 4, 4, "d");
  add("disabled-user", 5, 5, "du");
  add("enabled-user", 6, 6, "u");
  add("plain", 1, 0, "di");  // an image package has no oninstall
  add("suite", 0x03006301, 1704074400, "dub")->files = {"/ignored"};
  add("limits", 0xFFFFFFFF, 0xFFFFFFFF)->files = {"/f"};
  // Header and lists come back from its image, the state from its directory.
  InstalledPackage* meta = add("meta-img", 0x06016600, 0, "dui");
  meta->flags = imageMeta;
  meta->files = {"/boot/x"};
  return shapes;
}

}  // namespace

TEST(DatabaseRoundTrip, EveryRecordShapeIsWrittenExactlyAndReadsBack) {
  DeviceRoot root;
  const std::string pdb = root.at("/flash/var/pdb/");
  // Files of an earlier release that the new records must not keep.
  makeDirs(pdb + "plain");
  for (const char* file : {"bundle", "disabled", "enabled", "oninstall"})
    writeFile(pdb + "plain/" + file, "x\n");
  makeDirs(pdb + "meta-img");
  for (const char* name : {"version", "deps", "provides", "conflicts", "bundle", "files"})
    writeFile(pdb + "meta-img/" + name, "1 1\n");
  pkgwriter::PackageLayout layout;
  layout.name = "meta-img";
  layout.version = 0x06016600;
  layout.buildTime = 1700000000;
  layout.flags = imageMeta;
  layout.note = "from the image";
  layout.deps = std::vector<pkgwriter::ListEntry>{{"system", 100689408, 0xFFFFFFFF, 0, 0}};
  layout.provides = std::vector<pkgwriter::ListEntry>{{"api", 1, 2, -1, 0}};
  layout.image = std::string(100, 'i');
  writeFile(pdb + "meta-img/image", pkgwriter::buildPackageFile(layout));

  const std::string readBack = expected("read-back.txt");
  RUN_CHROOTED(root.path(), [&readBack] {
    Console& writer = childConsole();
    for (const auto& shape : recordShapes()) {
      ASSERT_TRUE(createPackageDir(*shape)) << shape->name;
      ASSERT_TRUE(writePackageRecord(writer, *shape)) << shape->name;
    }
    EXPECT_TRUE(writer.messages.empty());
    Console& reader = childConsole();
    loadDatabase(reader, false, "i386");
    EXPECT_TRUE(reader.messages.empty());
    EXPECT_EQ(readBack, loadedText(reader.packages));
  });
  EXPECT_EQ(expected("written.txt"), treeText(pdb));
}

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
