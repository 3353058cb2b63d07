// What the database writer writes, the loader reads back unchanged.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/chroot_runner.h"
#include "record_text.h"
#include "pkgwriter/package_builder.h"
#include "pdb/database_loader.h"
#include "pdb/database_writer.h"
#include "support/installer_process.h"

using testing_support::childConsole;
using pdb_testing::describe;
using testing_support::DeviceRoot;
using testing_support::exists;
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

  InstalledPackage* full = add("full", 0x01046202, 1704070800);
  full->deps = {{"smp-plain", 33777152, 0, 0}, {"system", 100689408, 117466624, 0}};
  full->provides = {{"smp-api", 16803328, 17393152, -1}, {"wide", 0xFFFFFFFF, 0xFFFFFFFF, 40}};
  full->conflicts = {{"smp-old", 0, 0xFFFFFFFF, 0}};
  full->bundle.name = "suite";
  full->files = {"/opt/a", "/opt/b/c", "/z"};

  add("only-deps", 1, 0)->deps = {{"x", 0, 0, 0}};
  add("only-provides", 2, 0)->provides = {{"p", 0, 0, -2147483647 - 1}};
  add("only-conflicts", 3, 0)->conflicts = {{"c", 5, 6, 0}};

  InstalledPackage* disabledAuto = add("disabled-auto", 4, 4);
  disabledAuto->disabled = true;
  InstalledPackage* disabledUser = add("disabled-user", 5, 5);
  disabledUser->disabled = true;
  disabledUser->userForced = true;
  add("enabled-user", 6, 6)->userForced = true;

  InstalledPackage* bundle = add("suite", 0x03006301, 1704074400);
  bundle->isBundle = true;
  bundle->disabled = true;
  bundle->userForced = true;

  add("limits", 0xFFFFFFFF, 0xFFFFFFFF)->files = {"/f"};
  return shapes;
}

}  // namespace

TEST(DatabaseRoundTrip, EveryRecordShapeReadsBackAsWritten) {
  DeviceRoot root;
  RUN_CHROOTED(root.path(), [] {
    const auto shapes = recordShapes();
    Console& writer = childConsole();
    for (const auto& shape : shapes) {
      ASSERT_TRUE(createPackageDir(*shape)) << shape->name;
      ASSERT_TRUE(writePackageRecord(writer, *shape)) << shape->name;
    }
    EXPECT_TRUE(writer.messages.empty());

    Console& reader = childConsole();
    loadDatabase(reader, false, "i386");
    EXPECT_TRUE(reader.messages.empty());
    ASSERT_EQ(shapes.size(), reader.packages.size());
    for (const auto& shape : shapes) {
      const InstalledPackage* read = reader.packages.find(shape->name);
      ASSERT_NE(nullptr, read) << shape->name;
      EXPECT_EQ(describe(*shape), describe(*read));
    }
  });
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
  writeFile(dir + "image", pkgwriter::buildPackageFile(layout));
  // Meta files of an earlier release, which would shadow the image.
  for (const char* name : {"version", "deps", "provides", "conflicts", "bundle", "files"})
    writeFile(dir + name, "1 1\n");

  RUN_CHROOTED(root.path(), [] {
    InstalledPackage pkg("meta-img");
    pkg.version = 0x06016600;
    pkg.flags = imageMeta;
    pkg.isImage = true;
    pkg.disabled = true;
    pkg.userForced = true;
    pkg.files = {"/boot/x"};
    ASSERT_TRUE(writePackageRecord(childConsole(), pkg));

    // Header and lists from the image, the state from the directory.
    Console& reader = childConsole();
    loadDatabase(reader, false, "i386");
    ASSERT_EQ(1u, reader.packages.size());
    EXPECT_EQ(describe(reader.packages[0]),
              "meta-img 6016600 1700000000 f2 i386|||from the image| "
              "[system:100689408:4294967295:0 ] [api:1:2:-1 ] [] in :0:0 {} disabled user action0");
  });
  for (const char* name : {"version", "deps", "provides", "conflicts", "bundle", "files"})
    EXPECT_FALSE(exists(dir + name)) << name;
}
