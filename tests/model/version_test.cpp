#include <gtest/gtest.h>

#include "model/package.h"
#include "model/version.h"

namespace {

// Records are not copyable; tests hold them by pointer and compare the pointees.
struct Release {
  std::unique_ptr<Package> record;
  operator const Package&() const { return *record; }
};

Release pkg(Version version, std::uint32_t buildTime = 0, const std::string& name = "lib") {
  auto package = std::make_unique<Package>(name);
  package->version = version;
  package->buildTime = buildTime;
  return Release{std::move(package)};
}

Dependency dep(Version min, Version max, const std::string& name = "lib") {
  return Dependency{name, min, max, 0};
}

TEST(VersionOrder, ReleasesOrderUnsignedThenByBuildTime) {
  const Version sequence[] = {
      makeVersion(6, 41, Final, 0), makeVersion(6, 42, Alpha, 1),
      makeVersion(6, 42, Beta, 1),  makeVersion(6, 42, ReleaseCandidate, 1),
      makeVersion(6, 42, Final, 0), makeVersion(6, 42, Final, 1),
      makeVersion(7, 0, Alpha, 0),  0x80000000u,
  };
  for (std::size_t i = 1; i < std::size(sequence); ++i) {
    EXPECT_EQ(compareRelease(pkg(sequence[i]), pkg(sequence[i - 1])), 1) << i;
    EXPECT_EQ(compareRelease(pkg(sequence[i - 1]), pkg(sequence[i])), -1) << i;
  }
  const Version v = makeVersion(1, 2, Final, 0);
  EXPECT_EQ(compareRelease(pkg(v, 100), pkg(v, 100)), 0);
  EXPECT_EQ(compareRelease(pkg(v, 0x80000000u), pkg(v, 1)), 1);
  EXPECT_EQ(compareRelease(pkg(v + 1, 0), pkg(v, 0xFFFFFFFFu)), 1);  // version decides first
}

// A bundle stands for its members, one level deep: kit-9 delivers m-2 and,
// inside sub, deep-5.
TEST(VersionOrder, ABundleStandsForItsMembersOneLevelDeep) {
  Release kit = pkg(9, 0, "kit");
  kit.record->members.push_back(pkg(2, 0, "m").record);
  kit.record->members.push_back(pkg(1, 0, "sub").record);
  kit.record->members[1]->members.push_back(pkg(5, 0, "deep").record);
  const struct {
    Version version;
    const char* name;
    int kitFirst;  // compareRelease(kit, other)
  } cases[] = {{2, "m", 0}, {1, "m", 1}, {3, "m", -1}, {8, "kit", 1}, {1, "deep", 0}, {1, "x", 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(compareRelease(kit, pkg(c.version, 0, c.name)), c.kitFirst) << c.name << c.version;
    EXPECT_EQ(compareRelease(pkg(c.version, 0, c.name), kit), -c.kitFirst) << c.name << c.version;
  }
}

TEST(VersionText, FormsOfEveryKindNamesAndDependencies) {
  EXPECT_EQ(versionText(makeVersion(6, 41, Final, 3)), "6.41.3");
  EXPECT_EQ(versionText(makeVersion(6, 41, Final, 0)), "6.41");
  EXPECT_EQ(versionText(makeVersion(6, 42, Beta, 5)), "6.42beta5");
  EXPECT_EQ(versionText(makeVersion(6, 42, ReleaseCandidate, 0)), "6.42rc");
  EXPECT_EQ(versionText(0x03146301), "3.20rc1");
  EXPECT_EQ(versionText(makeVersion(255, 255, Alpha, 255)), "255.255alpha255");
  // Kind bytes other than a/b/c/f have an empty kind text.
  EXPECT_EQ(versionText(0), "0.0");
  EXPECT_EQ(versionText(makeVersion(6, 41, 0, 5)), "6.415");
  EXPECT_EQ(versionText(makeVersion(6, 41, 'd', 0)), "6.41");
  EXPECT_EQ(versionText(makeVersion(6, 41, 'F', 2)), "6.412");

  EXPECT_EQ(nameVersionText(pkg(makeVersion(6, 41, Final, 3), 0, "dhcp")), "dhcp-6.41.3");
  EXPECT_EQ(dependencyText(dep(0, makeVersion(7, 0, Final, 0), "system")), "system");
  EXPECT_EQ(dependencyText(dep(makeVersion(6, 0, Final, 0), 0, "system")), "system-6.0");

  EXPECT_FALSE(namesEqual("abc", "ABC"));
  EXPECT_FALSE(namesEqual("abc", "abcd"));
  EXPECT_FALSE(namesEqual(std::string("abc\0", 4), "abc"));
  EXPECT_TRUE(namesEqual("", ""));
}

TEST(VersionBounds, Satisfies) {
  const Version v5 = makeVersion(5, 0, Final, 0), v6 = makeVersion(6, 0, Final, 0),
                v7 = makeVersion(7, 0, Final, 0);
  EXPECT_TRUE(satisfies(pkg(0xFFFFFFFFu), dep(0, 0)));
  EXPECT_FALSE(satisfies(pkg(v6), dep(0, 0, "Lib")));
  EXPECT_TRUE(satisfies(pkg(v6), dep(v6, v6)));
  EXPECT_FALSE(satisfies(pkg(v6 + 1), dep(v6, v6)));
  EXPECT_FALSE(satisfies(pkg(v6 - 1), dep(v6, v6)));
  EXPECT_TRUE(satisfies(pkg(v6), dep(v5, 0)));
  EXPECT_FALSE(satisfies(pkg(v6), dep(v7, 0)));
  EXPECT_FALSE(satisfies(pkg(v7 + 1), dep(0, v7)));
  // Bounds compare unsigned: a top-bit version is above every small bound.
  EXPECT_FALSE(satisfies(pkg(0x90000000u), dep(0, v7)));
  EXPECT_TRUE(satisfies(pkg(0x90000000u), dep(v7, 0)));
}

TEST(VersionBounds, RangesOverlap) {
  const struct {
    Version pMin, pMax, rMin, rMax;
    bool overlap;
  } cases[] = {
      {0, 0, 5, 9, true},     {5, 0, 0, 4, false},  {4, 0, 0, 4, true},
      {5, 0, 3, 0, true},     {1, 3, 0, 2, true},   {1, 3, 3, 8, true},
      {1, 3, 4, 8, false},    {9, 12, 4, 8, false},
      {0xF0000000u, 0, 0, 0xF0000000u, true},       {0xF0000001u, 0, 0, 0xF0000000u, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(rangesOverlap(dep(c.pMin, c.pMax), dep(c.rMin, c.rMax)), c.overlap)
        << c.pMin << ".." << c.pMax << " vs " << c.rMin << ".." << c.rMax;
  EXPECT_FALSE(rangesOverlap(dep(0, 0, "api"), dep(0, 0, "apI")));
}

}  // namespace
