// What the database writer writes (exact bytes), and what the loader reads back.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/chroot_runner.h"
#include "pdb_test_helpers.h"
#include "pkgwriter/package_builder.h"
#include "pdb/database_loader.h"
#include "pdb/database_writer.h"
#include "support/installer_process.h"

using namespace pdb_testing;
using testing_support::childConsole;
using testing_support::DeviceRoot;
using testing_support::makeDirs;
using testing_support::writeFile;

namespace {

std::vector<std::unique_ptr<InstalledPackage>> recordShapes() {
  std::vector<std::unique_ptr<InstalledPackage>> shapes;
  auto add = [&shapes](const char* name, Version version, std::uint32_t buildTime) {
    shapes.push_back(std::make_unique<InstalledPackage>(name));
    shapes.back()->version = version;
    shapes.back()->buildTime = buildTime;
    return shapes.back().get();
  };
  add("bare", 0x02036601, 1704067200)->files = {"/bin/x", "/lib/y"};
  InstalledPackage* full = add("full", 0x03146301, 1704067200);
  full->deps = {{"system", 100689408, 117466624, 7}, {"lib", 0, 0xFFFFFFFF, 0}};
  full->provides = {{"api", 1, 0xFFFFFFFF, -1}, {"wide", 0xFFFFFFFF, 0xFFFFFFFF, 2147483647}};
  full->conflicts = {{"old", 0, 16803328, 0}};
  full->bundle = {"suite", 5, 5, 0};
  full->files = {"/opt/a", "/opt/b/c", "", "noslash"};
  full->userForced = true;
  add("only-deps", 1, 0)->deps = {{"x", 0, 0, 0}};
  add("only-provides", 2, 0)->provides = {{"p", 0, 0, -2147483647 - 1}};
  add("only-conflicts", 3, 0)->conflicts = {{"c", 5, 6, 0}};
  add("disabled-auto", 4, 4)->disabled = true;
  InstalledPackage* disabledUser = add("disabled-user", 5, 5);
  disabledUser->disabled = disabledUser->userForced = true;
  add("enabled-user", 6, 6)->userForced = true;
  InstalledPackage* plain = add("plain", 1, 0);  // an image package has no oninstall
  plain->disabled = plain->isImage = true;
  InstalledPackage* bundle = add("suite", 0x03006301, 1704074400);
  bundle->isBundle = bundle->disabled = bundle->userForced = true;
  bundle->files = {"/ignored"};
  add("limits", 0xFFFFFFFF, 0xFFFFFFFF)->files = {"/f"};
  return shapes;
}

}  // namespace

TEST(DatabaseRoundTrip, EveryRecordShapeIsWrittenExactlyAndReadsBack) {
  DeviceRoot root;
  const std::string pdb = root.at("/flash/var/pdb/");
  // Leftovers of an earlier release that the new record must not keep.
  makeDirs(pdb + "plain");
  for (const char* file : {"bundle", "disabled", "enabled", "oninstall"}) writeFile(pdb + "plain/" + file, "x\n");
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

TEST(DatabaseRoundTrip, AnImageMetaPackageReadsBackFromItsImage) {
  pkgwriter::PackageLayout layout;
  layout.name = "meta-img";
  layout.version = 0x06016600;
  layout.buildTime = 1700000000;
  layout.flags = imageMeta;
  layout.note = "from the image";
  layout.deps = std::vector<pkgwriter::ListEntry>{{"system", 100689408, 0xFFFFFFFF, 0, 0}};
  layout.provides = std::vector<pkgwriter::ListEntry>{{"api", 1, 2, -1, 0}};
  layout.image = std::string(100, 'i');
  DeviceRoot root;
  const std::string dir = root.at("/flash/var/pdb/meta-img/");
  makeDirs(dir);
  const std::string image = pkgwriter::buildPackageFile(layout);
  writeFile(dir + "image", image);
  // Meta files of an earlier release, which would shadow the image.
  for (const char* name : {"version", "deps", "provides", "conflicts", "bundle", "files"})
    writeFile(dir + name, "1 1\n");

  RUN_CHROOTED(root.path(), [] {
    InstalledPackage pkg("meta-img");
    pkg.version = 0x06016600;
    pkg.flags = imageMeta;
    pkg.isImage = pkg.disabled = pkg.userForced = true;
    pkg.files = {"/boot/x"};
    ASSERT_TRUE(writePackageRecord(childConsole(), pkg));
    // Header and lists from the image, the state from the directory.
    Console& reader = childConsole();
    loadDatabase(reader, false, "i386");
    EXPECT_EQ("meta-img 6016600 1700000000 f2 i386|||from the image| [system:100689408:4294967295:0 ] "
              "[api:1:2:-1 ] [] in :0:0 {} disabled user action0\n",
              loadedText(reader.packages));
  });
  EXPECT_EQ("== disabled\nuser\n== image\n" + image, treeText(dir));
}
