// What the database writer writes, the loader reads back unchanged.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chroot_runner.h"
#include "pkgwriter/package_builder.h"
#include "pdb/database_loader.h"
#include "pdb/database_writer.h"
#include "support/installer_process.h"

using pdb_testing::childConsole;
using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::writeFile;

namespace {

void expectSameList(const std::vector<Dependency>& written, const std::vector<Dependency>& read,
                    bool withExtra, const std::string& what) {
  ASSERT_EQ(written.size(), read.size()) << what;
  for (std::size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ(written[i].name, read[i].name) << what << " " << i;
    EXPECT_EQ(written[i].min, read[i].min) << what << " " << i;
    EXPECT_EQ(written[i].max, read[i].max) << what << " " << i;
    EXPECT_EQ(withExtra ? written[i].extra : 0, read[i].extra) << what << " " << i;
  }
}

// The fields the database holds for a package written from its meta files.
void expectSameRecord(const InstalledPackage& written, const InstalledPackage& read) {
  SCOPED_TRACE(written.name);
  EXPECT_EQ(written.version, read.version);
  EXPECT_EQ(written.buildTime, read.buildTime);
  expectSameList(written.deps, read.deps, false, "deps");
  expectSameList(written.provides, read.provides, true, "provides");
  expectSameList(written.conflicts, read.conflicts, false, "conflicts");
  EXPECT_EQ(written.bundle.name, read.bundle.name);
  EXPECT_EQ(0u, read.bundle.min);
  EXPECT_EQ(0u, read.bundle.max);
  EXPECT_EQ(written.isBundle, read.isBundle);
  if (!written.isBundle) {
    EXPECT_EQ(written.files, read.files);
  }
  EXPECT_EQ(written.disabled, read.disabled);
  EXPECT_EQ(written.userForced, read.userForced);
  EXPECT_EQ(ScheduledAction::None, read.action);
}

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
      expectSameRecord(*shape, *read);
    }
  });
}

TEST(DatabaseRoundTrip, AnImageMetaPackageReadsBackFromItsImage) {
  pkgwriter::PackageSpec layout;
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
    pkg.buildTime = 1700000000;
    pkg.flags = imageMeta;
    pkg.isImage = true;
    pkg.deps = {{"system", 100689408, 0xFFFFFFFF, 0}};
    pkg.provides = {{"api", 1, 2, -1}};
    pkg.disabled = true;
    pkg.userForced = true;
    pkg.files = {"/boot/x"};
    ASSERT_TRUE(writePackageRecord(childConsole(), pkg));

    Console& reader = childConsole();
    loadDatabase(reader, false, "i386");
    ASSERT_EQ(1u, reader.packages.size());
    const InstalledPackage& read = reader.packages[0];
    EXPECT_EQ(pkg.name, read.name);
    EXPECT_EQ(pkg.version, read.version);
    EXPECT_EQ(pkg.buildTime, read.buildTime);
    EXPECT_EQ(pkg.flags, read.flags);
    EXPECT_EQ("from the image", read.note);
    expectSameList(pkg.deps, read.deps, true, "deps");
    expectSameList(pkg.provides, read.provides, true, "provides");
    EXPECT_TRUE(read.conflicts.empty());
    EXPECT_TRUE(read.disabled);
    EXPECT_TRUE(read.userForced);
    EXPECT_EQ(ScheduledAction::None, read.action);
  });
  for (const char* name : {"version", "deps", "provides", "conflicts", "bundle", "files"})
    EXPECT_FALSE(exists(dir + name)) << name;
}
