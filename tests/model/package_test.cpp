#include <gtest/gtest.h>

#include "model/package.h"

namespace {

std::unique_ptr<InstalledPackage> record(const std::string& name, Version version) {
  auto pkg = std::make_unique<InstalledPackage>(name);
  pkg->version = version;
  return pkg;
}

TEST(PackageRecords, Defaults) {
  const InstalledPackage installed("x");
  EXPECT_EQ(installed.version, 0u);
  EXPECT_EQ(installed.flags, 0u);
  EXPECT_TRUE(installed.architecture.empty());
  EXPECT_TRUE(installed.bundle.name.empty());
  EXPECT_EQ(installed.bundle.min, 0u);
  EXPECT_EQ(installed.action, ScheduledAction::None);
  EXPECT_FALSE(installed.disabled || installed.userForced || installed.isBundle || installed.isImage);
  const PackageFile file;
  EXPECT_TRUE(file.name.empty());
  EXPECT_EQ(file.length, 0u);
  EXPECT_FALSE(file.alternateMagic);
  EXPECT_EQ(static_cast<unsigned>(ScheduledAction::Disable), 3u);
}

TEST(PackageRecords, MembersAreDestroyedThroughTheBase) {
  // Members of different record types live in one list; the sanitizer build
  // catches a destructor that is not reached through the base pointer.
  PackageFile bundle;
  bundle.members.push_back(std::make_unique<Package>("a"));
  bundle.members.push_back(std::make_unique<InstalledPackage>("b"));
  static_cast<InstalledPackage&>(*bundle.members[1]).files.insert("/bin/b");
  EXPECT_EQ(bundle.members.size(), 2u);
}

TEST(PackageDbLookup, FirstMatchByExactName) {
  PackageDb db;
  EXPECT_EQ(db.findIndex("a"), -1);
  EXPECT_EQ(db.find("a"), nullptr);
  db.append(record("alpha", 1));
  db.append(record("beta", 2));
  db.append(record("alpha", 3));
  EXPECT_EQ(db.findIndex("alpha"), 0);
  EXPECT_EQ(db.find("alpha")->version, 1u);
  EXPECT_EQ(db.findIndex("beta"), 1);
  EXPECT_EQ(db.findIndex("Alpha"), -1);
  EXPECT_EQ(db.findIndex("alph"), -1);
  EXPECT_EQ(db.findIndex(""), -1);

  // Taking a record out keeps the order of the rest.
  std::unique_ptr<InstalledPackage> taken = db.take(0);
  EXPECT_EQ(taken->version, 1u);
  ASSERT_EQ(db.size(), 2u);
  EXPECT_EQ(db[0].name, "beta");
  EXPECT_EQ(db.find("alpha")->version, 3u);
}

}  // namespace
