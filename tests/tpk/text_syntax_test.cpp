// The version and relation texts that package makers type on the command line.
#include <gtest/gtest.h>

#include "model/version.h"
#include "tpk/relation_text.h"
#include "tpk/version_text.h"

using tpk::parseRelation;
using tpk::parseVersionText;

TEST(VersionText, EveryPrintedFormReadsBackAndMalformedTextIsRefused) {
  const unsigned numbers[] = {0, 1, 9, 10, 41, 99, 100, 255};
  for (unsigned major : numbers)
    for (unsigned minor : numbers)
      for (unsigned kind : {Alpha, Beta, ReleaseCandidate, Final})
        for (unsigned build = 0; build < 256; ++build) {
          const Version v = makeVersion(major, minor, kind, build);
          Version parsed = 0;
          ASSERT_TRUE(parseVersionText(versionText(v), parsed)) << versionText(v);
          ASSERT_EQ(parsed, v) << versionText(v);
        }
  for (const char* bad :
       {"",          "6",         "6.",         ".41",      "6.41.",  "6..41", "6.41beta-1",
        "6.256",     "256.1",     "6.41gamma1", "6.41.3.1", "6.41 ",  " 6.41", "-6.41",
        "6.41rc256", "6.41.1000", "6.41RC1",    "6,41",     "6.41b1", "6.0041"}) {
    Version untouched = 77;
    EXPECT_FALSE(parseVersionText(bad, untouched)) << '"' << bad << '"';
    EXPECT_EQ(untouched, 77u) << bad;
  }
}

TEST(RelationText, BoundsNamesAndExtraReadAndPrintBack) {
  const struct {
    const char* text;
    Version min, max;
    std::int32_t extra;
  } good[] = {
      {"system", 0, 0, 0},
      {"exactly16bytesxx", 0, 0, 0},
      {"system>=6.41,<=6.49", makeVersion(6, 41, Final, 0), makeVersion(6, 49, Final, 0), 0},
      {"old<=1.0rc2", 0, makeVersion(1, 0, ReleaseCandidate, 2), 0},
      {"x=6.42beta5", makeVersion(6, 42, Beta, 5), makeVersion(6, 42, Beta, 5), 0},
      {"api>=1.0,<=1.9.3:-7", makeVersion(1, 0, Final, 0), makeVersion(1, 9, Final, 3), -7},
      {"api:2147483647", 0, 0, 2147483647},
  };
  for (const auto& c : good) {
    pkgwriter::ListEntry e;
    std::string error;
    ASSERT_TRUE(parseRelation(c.text, true, e, error)) << c.text << ": " << error;
    EXPECT_EQ(e.min, c.min) << c.text;
    EXPECT_EQ(e.max, c.max) << c.text;
    EXPECT_EQ(e.extra, c.extra) << c.text;
    const std::string printed = tpk::relationText(e.name, e.min, e.max, e.extra);
    pkgwriter::ListEntry back;
    ASSERT_TRUE(parseRelation(printed, true, back, error)) << printed << ": " << error;
    EXPECT_EQ(back.name, e.name);
    EXPECT_EQ(back.min, e.min) << printed;
    EXPECT_EQ(back.max, e.max) << printed;
    EXPECT_EQ(back.extra, e.extra) << printed;
  }

  for (const char* bad :
       {"", ">=6.41", "a>6.41", "a>=6.41,>=6.42", "a=6.41,<=6.49", "a>=6.49,<=6.41", "a>=", "a>=x",
        "a/b", "..", "seventeen-bytes-x", "a>=6.41,", "api:", "api:2147483648", "api:1x"}) {
    pkgwriter::ListEntry e;
    std::string error;
    EXPECT_FALSE(parseRelation(bad, true, e, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  pkgwriter::ListEntry e;
  std::string error;
  EXPECT_FALSE(parseRelation("api:1", false, e, error)) << "extra outside provides";
}
