#include <gtest/gtest.h>

#include "model/package.h"
#include "model/version.h"

namespace {

// Records are not copyable; tests hold them by pointer and compare the pointees.
struct Release {
  std::unique_ptr<Package> record;
  operator const Package&() const { return *record; }
};

Release makePackage(const std::string& name, Version version, std::uint32_t buildTime = 0) {
  auto package = std::make_unique<Package>(name);
  package->version = version;
  package->buildTime = buildTime;
  return Release{std::move(package)};
}

Dependency dep(const std::string& name, Version min, Version max, std::int32_t extra = 0) {
  return Dependency{name, min, max, extra};
}

TEST(VersionOrder, ReleasesOrderByUnsignedComparison) {
  const Version sequence[] = {
      makeVersion(6, 41, Final, 0),  makeVersion(6, 42, Alpha, 1),
      makeVersion(6, 42, Beta, 1),   makeVersion(6, 42, ReleaseCandidate, 1),
      makeVersion(6, 42, Final, 0),  makeVersion(6, 42, Final, 1),
      makeVersion(7, 0, Alpha, 0),   makeVersion(255, 255, Final, 255),
  };
  for (std::size_t i = 1; i < std::size(sequence); ++i) {
    EXPECT_LT(sequence[i - 1], sequence[i]) << versionText(sequence[i - 1]) << " < "
                                            << versionText(sequence[i]);
    const Release older = makePackage("p", sequence[i - 1]);
    const Release newer = makePackage("p", sequence[i]);
    EXPECT_EQ(compareRelease(newer, older), 1);
    EXPECT_EQ(compareRelease(older, newer), -1);
  }
  // A release candidate of a later minor is newer than every final of an earlier one.
  EXPECT_GT(makeVersion(6, 43, ReleaseCandidate, 0), makeVersion(6, 42, Final, 255));
  // The top byte decides although it would be negative as a signed number.
  EXPECT_EQ(compareRelease(makePackage("p", 0x80000000u), makePackage("p", 0x7FFFFFFFu)), 1);
}

TEST(VersionOrder, BuildTimeBreaksTiesUnsigned) {
  const Version v = makeVersion(1, 2, Final, 0);
  EXPECT_EQ(compareRelease(makePackage("p", v, 100), makePackage("p", v, 100)), 0);
  EXPECT_EQ(compareRelease(makePackage("p", v, 101), makePackage("p", v, 100)), 1);
  EXPECT_EQ(compareRelease(makePackage("p", v, 0x80000000u), makePackage("p", v, 1)), 1);
  // The version decides before the build time.
  EXPECT_EQ(compareRelease(makePackage("p", v + 1, 0), makePackage("p", v, 0xFFFFFFFFu)), 1);
}

TEST(VersionText, FormsOfEveryKind) {
  EXPECT_EQ(versionText(makeVersion(6, 41, Final, 3)), "6.41.3");
  EXPECT_EQ(versionText(makeVersion(6, 41, Final, 0)), "6.41");
  EXPECT_EQ(versionText(makeVersion(6, 42, Beta, 5)), "6.42beta5");
  EXPECT_EQ(versionText(makeVersion(6, 42, ReleaseCandidate, 0)), "6.42rc");
  EXPECT_EQ(versionText(0x03146301), "3.20rc1");
  EXPECT_EQ(versionText(makeVersion(6, 42, Alpha, 1)), "6.42alpha1");
  EXPECT_EQ(versionText(makeVersion(255, 255, Alpha, 255)), "255.255alpha255");
  EXPECT_EQ(versionText(0), "0.0");  // kind byte 0 has no kind text, build 0 none
  // Kind bytes other than a/b/c/f have an empty kind text.
  EXPECT_EQ(versionText(makeVersion(6, 41, 0, 5)), "6.415");
  EXPECT_EQ(versionText(makeVersion(6, 41, 'd', 0)), "6.41");
  EXPECT_EQ(versionText(makeVersion(6, 41, 'F', 2)), "6.412");
  EXPECT_EQ(versionText(0xFFFFFFFFu), "255.255255");
}

TEST(VersionText, NamesAndDependencies) {
  EXPECT_EQ(nameVersionText(makePackage("dhcp", makeVersion(6, 41, Final, 3))), "dhcp-6.41.3");
  EXPECT_EQ(nameVersionText(makePackage("x", 0)), "x-0.0");
  EXPECT_EQ(dependencyText(dep("system", 0, makeVersion(7, 0, Final, 0))), "system");
  EXPECT_EQ(dependencyText(dep("system", makeVersion(6, 0, Final, 0), 0)), "system-6.0");
}

TEST(VersionNames, ComparedByteForByteWithLength) {
  EXPECT_TRUE(namesEqual("abc", "abc"));
  EXPECT_FALSE(namesEqual("abc", "ABC"));
  EXPECT_FALSE(namesEqual("abc", "abcd"));
  EXPECT_FALSE(namesEqual(std::string("abc\0", 4), "abc"));
  EXPECT_TRUE(namesEqual("", ""));
}

TEST(VersionBounds, Satisfies) {
  const Version v5 = makeVersion(5, 0, Final, 0), v6 = makeVersion(6, 0, Final, 0),
                v7 = makeVersion(7, 0, Final, 0);
  const Release p6 = makePackage("lib", v6);
  EXPECT_TRUE(satisfies(p6, dep("lib", 0, 0)));
  EXPECT_TRUE(satisfies(makePackage("lib", 0xFFFFFFFFu), dep("lib", 0, 0)));
  EXPECT_FALSE(satisfies(p6, dep("Lib", 0, 0)));
  EXPECT_TRUE(satisfies(p6, dep("lib", v6, v6)));
  EXPECT_FALSE(satisfies(makePackage("lib", v6 + 1), dep("lib", v6, v6)));
  EXPECT_FALSE(satisfies(makePackage("lib", v6 - 1), dep("lib", v6, v6)));
  EXPECT_TRUE(satisfies(p6, dep("lib", v5, 0)));
  EXPECT_FALSE(satisfies(p6, dep("lib", v7, 0)));
  EXPECT_TRUE(satisfies(p6, dep("lib", 0, v7)));
  EXPECT_FALSE(satisfies(makePackage("lib", v7 + 1), dep("lib", 0, v7)));
  // Bounds compare unsigned: a top-bit version is above every small bound.
  EXPECT_FALSE(satisfies(makePackage("lib", 0x90000000u), dep("lib", 0, v7)));
  EXPECT_TRUE(satisfies(makePackage("lib", 0x90000000u), dep("lib", v7, 0)));
}

TEST(VersionBounds, RangesOverlap) {
  EXPECT_TRUE(rangesOverlap(dep("api", 0, 0), dep("api", 5, 9)));
  EXPECT_TRUE(rangesOverlap(dep("api", 0, 0), dep("api", 0, 0)));
  EXPECT_FALSE(rangesOverlap(dep("api", 0, 0), dep("apI", 0, 0)));
  EXPECT_FALSE(rangesOverlap(dep("api", 5, 0), dep("api", 0, 4)));
  EXPECT_TRUE(rangesOverlap(dep("api", 4, 0), dep("api", 0, 4)));
  EXPECT_TRUE(rangesOverlap(dep("api", 5, 0), dep("api", 3, 0)));  // open above
  EXPECT_TRUE(rangesOverlap(dep("api", 1, 3), dep("api", 0, 2)));  // required min 0
  EXPECT_TRUE(rangesOverlap(dep("api", 1, 3), dep("api", 3, 8)));  // touch at 3
  EXPECT_FALSE(rangesOverlap(dep("api", 1, 3), dep("api", 4, 8)));
  EXPECT_FALSE(rangesOverlap(dep("api", 9, 12), dep("api", 4, 8)));
  EXPECT_TRUE(rangesOverlap(dep("api", 0xF0000000u, 0), dep("api", 0, 0xF0000000u)));
  EXPECT_FALSE(rangesOverlap(dep("api", 0xF0000001u, 0), dep("api", 0, 0xF0000000u)));
}

}  // namespace
