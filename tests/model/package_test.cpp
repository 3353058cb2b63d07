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

TEST(ReleaseOrder, BundleStandsForItsMemberOneLevelDeep) {
  const auto make = [](const char* name, Version version) {
    auto record = std::make_unique<Package>(name);
    record->version = version;
    return record;
  };
  Package kit("kit");  // kit-9 delivering m-2 and, inside sub, deep-5
  kit.version = 9;
  kit.members.push_back(make("m", 2));
  kit.members.push_back(make("sub", 1));
  kit.members[1]->members.push_back(make("deep", 5));
  const struct {
    std::unique_ptr<Package> other;
    int kitFirst;  // compareRelease(kit, other)
  } cases[] = {
      {make("m", 2), 0},    {make("m", 1), 1},   {make("m", 3), -1},
      {make("kit", 8), 1},  {make("deep", 1), 0}, {make("x", 1), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compareRelease(kit, *c.other), c.kitFirst) << c.other->name << c.other->version;
    EXPECT_EQ(compareRelease(*c.other, kit), -c.kitFirst) << c.other->name << c.other->version;
  }
}
