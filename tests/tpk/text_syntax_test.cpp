// The version and relation texts that package makers type on the command line.
#include <gtest/gtest.h>

#include "model/version.h"
#include "tpk/relation_text.h"
#include "tpk/version_text.h"

using tpk::parseRelation;
using tpk::parseVersionText;

TEST(VersionText, EveryUnambiguousPrintedFormReadsBack) {
  const unsigned numbers[] = {0, 1, 9, 10, 41, 99, 100, 255};
  const unsigned kinds[] = {Alpha, Beta, ReleaseCandidate, Final};
  for (unsigned major : numbers)
    for (unsigned minor : numbers)
      for (unsigned kind : kinds)
        for (unsigned build = 0; build < 256; ++build) {
          const Version v = makeVersion(major, minor, kind, build);
          Version parsed = 0;
          ASSERT_TRUE(parseVersionText(versionText(v), parsed)) << versionText(v);
          ASSERT_EQ(parsed, v) << versionText(v);
        }
}

TEST(VersionText, KnownFormsAndMalformedText) {
  Version v = 0;
  ASSERT_TRUE(parseVersionText("6.42rc", v));
  EXPECT_EQ(v, makeVersion(6, 42, 'c', 0));
  ASSERT_TRUE(parseVersionText("3.20rc1", v));
  EXPECT_EQ(v, 0x03146301u);
  ASSERT_TRUE(parseVersionText("6.41.3", v));
  EXPECT_EQ(v, makeVersion(6, 41, 'f', 3));
  for (const char* bad :
       {"",          "6",         "6.",         ".41",      "6.41.",  "6..41", "6.41beta-1",
        "6.256",     "256.1",     "6.41gamma1", "6.41.3.1", "6.41 ",  " 6.41", "-6.41",
        "6.41rc256", "6.41.1000", "6.41RC1",    "6,41",     "6.41b1", "6.0041"}) {
    Version untouched = 77;
    EXPECT_FALSE(parseVersionText(bad, untouched)) << '"' << bad << '"';
    EXPECT_EQ(untouched, 77u) << bad;
  }
}

TEST(RelationText, BoundsNamesAndExtra) {
  pkgwriter::ListEntry e;
  std::string error;
  ASSERT_TRUE(parseRelation("system", false, e, error));
  EXPECT_EQ(e.name, "system");
  EXPECT_EQ(e.min, 0u);
  EXPECT_EQ(e.max, 0u);
  ASSERT_TRUE(parseRelation("system>=6.41,<=6.49", false, e, error)) << error;
  EXPECT_EQ(e.min, makeVersion(6, 41, 'f', 0));
  EXPECT_EQ(e.max, makeVersion(6, 49, 'f', 0));
  ASSERT_TRUE(parseRelation("old<=1.0", false, e, error));
  EXPECT_EQ(e.min, 0u);
  EXPECT_EQ(e.max, makeVersion(1, 0, 'f', 0));
  ASSERT_TRUE(parseRelation("x=6.42beta5", false, e, error));
  EXPECT_EQ(e.min, makeVersion(6, 42, 'b', 5));
  EXPECT_EQ(e.max, e.min);
  ASSERT_TRUE(parseRelation("api>=1.0,<=1.9:-1", true, e, error)) << error;
  EXPECT_EQ(e.extra, -1);
  EXPECT_EQ(e.max, makeVersion(1, 9, 'f', 0));
  ASSERT_TRUE(parseRelation("exactly16bytesxx", false, e, error));

  for (const char* bad :
       {"", ">=6.41", "a>6.41", "a>=6.41,>=6.42", "a=6.41,<=6.49", "a>=6.49,<=6.41", "a>=", "a>=x",
        "a/b", "..", "seventeen-bytes-x", "a>=6.41,"}) {
    error.clear();
    EXPECT_FALSE(parseRelation(bad, true, e, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  EXPECT_FALSE(parseRelation("api:1", false, e, error)) << "extra outside provides";
  EXPECT_FALSE(parseRelation("api:", true, e, error));
  EXPECT_FALSE(parseRelation("api:2147483648", true, e, error));
  EXPECT_FALSE(parseRelation("api:1x", true, e, error));
}

TEST(RelationText, PrintedFormReadsBack) {
  const struct {
    std::uint32_t min, max;
    std::int32_t extra;
  } cases[] = {{0, 0, 0},
               {makeVersion(6, 41, 'f', 0), 0, 0},
               {0, makeVersion(1, 0, 'c', 2), 0},
               {makeVersion(2, 0, 'a', 1), makeVersion(2, 0, 'a', 1), 0},
               {makeVersion(1, 0, 'f', 0), makeVersion(1, 9, 'f', 3), -7},
               {0, 0, 2147483647}};
  for (const auto& c : cases) {
    const std::string text = tpk::relationText("pkg", c.min, c.max, c.extra);
    pkgwriter::ListEntry e;
    std::string error;
    ASSERT_TRUE(parseRelation(text, true, e, error)) << text << ": " << error;
    EXPECT_EQ(e.min, c.min) << text;
    EXPECT_EQ(e.max, c.max) << text;
    EXPECT_EQ(e.extra, c.extra) << text;
  }
}
