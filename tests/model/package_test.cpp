#include <gtest/gtest.h>

#include "model/package.h"

namespace {

TEST(PackageRecords, MembersAreDestroyedThroughTheBase) {
  // Members of different record types live in one list; the sanitizer build
  // catches a destructor that is not reached through the base pointer.
  PackageFile bundle;
  bundle.members.push_back(std::make_unique<Package>("a"));
  bundle.members.push_back(std::make_unique<InstalledPackage>("b"));
  static_cast<InstalledPackage&>(*bundle.members[1]).files.insert("/bin/b");
}

TEST(PackageDbLookup, FirstMatchByExactNameAndTakeKeepsOrder) {
  PackageDb db;
  EXPECT_EQ(db.find("a"), nullptr);
  for (const auto& [name, version] : {std::pair{"alpha", 1u}, {"beta", 2u}, {"alpha", 3u}}) {
    auto pkg = std::make_unique<InstalledPackage>(name);
    pkg->version = version;
    db.append(std::move(pkg));
  }
  EXPECT_EQ(db.findIndex("alpha"), 0);
  EXPECT_EQ(db.findIndex("beta"), 1);
  EXPECT_EQ(db.findIndex("Alpha"), -1);
  EXPECT_EQ(db.findIndex("alph"), -1);

  EXPECT_EQ(db.take(0)->version, 1u);
  ASSERT_EQ(db.size(), 2u);
  EXPECT_EQ(db[0].name, "beta");
  EXPECT_EQ(db.find("alpha")->version, 3u);
}

}  // namespace
