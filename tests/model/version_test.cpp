#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include "model/package.h"
#include "model/version.h"

namespace {

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

// Names compare byte for byte, case and length included.
TEST(Names, EqualOnlyByteForByte) {
  EXPECT_FALSE(namesEqual("abc", "ABC"));
  EXPECT_FALSE(namesEqual("abc", "abcd"));
  EXPECT_FALSE(namesEqual(std::string("abc\0", 4), "abc"));
  EXPECT_TRUE(namesEqual("", ""));
}

TEST(VersionCases, FromTheCaseFile) {
  std::ifstream file(std::string(TEST_DATA_DIR) + "/model/version-cases.txt");
  ASSERT_TRUE(file.is_open());
  for (std::string text; std::getline(file, text);) {
    std::istringstream line(text);
    char kind = '#';
    std::string name, other;
    Version a = 0, b = 0, c = 0, d = 0;
    bool result = false;
    if (!(line >> kind) || kind == '#') continue;
    line >> std::hex;
    if (kind == 'O' || kind == '=') {
      char at = '@';
      line >> a >> at >> c >> b >> at >> d;
      const int order = kind == 'O';
      EXPECT_EQ(compareRelease(pkg(b, d), pkg(a, c)), order) << text;
      EXPECT_EQ(compareRelease(pkg(a, c), pkg(b, d)), -order) << text;
    } else if (kind == 'T') {
      line >> a >> other;
      EXPECT_EQ(versionText(a), other) << text;
    } else if (kind == 'S') {
      line >> name >> a >> b >> c >> result;
      EXPECT_EQ(satisfies(pkg(a, 0, name), dep(b, c)), result) << text;
    } else {
      line >> name >> a >> b >> other >> c >> d >> result;
      EXPECT_EQ(rangesOverlap(dep(a, b, name), dep(c, d, other)), result) << text;
    }
    EXPECT_FALSE(line.fail()) << text;
  }
}

}  // namespace
