// The version and relation texts that package makers type on the command line.
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

#include "model/version.h"
#include "support/scratch_dir.h"
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

// The cases of tests/data/tpk/text-syntax.txt.
TEST(RelationText, BoundsNamesAndExtraReadAndPrintBack) {
  int cases = 0;
  for (const std::string& line : testing_support::dataLines("tpk/text-syntax.txt")) {
    std::string kind, text;
    std::istringstream words(line);
    words >> kind >> text;
    text = text == "''" ? "" : text;
    pkgwriter::ListEntry e, back;
    std::string error;
    if (kind == "bad-relation" && ++cases) {
      EXPECT_FALSE(parseRelation(text, true, e, error)) << text;
      EXPECT_FALSE(error.empty()) << text;
    }
    if (kind != "relation" || !++cases) continue;
    Version min, max;
    std::int32_t extra;
    words >> std::hex >> min >> max >> std::dec >> extra;
    ASSERT_TRUE(parseRelation(text, true, e, error)) << text << ": " << error;
    EXPECT_EQ(std::tuple(e.min, e.max, e.extra), std::tuple(min, max, extra)) << text;
    const std::string printed = tpk::relationText(e.name, e.min, e.max, e.extra);
    ASSERT_TRUE(parseRelation(printed, true, back, error)) << printed << ": " << error;
    EXPECT_EQ(std::tie(back.name, back.min, back.max, back.extra),
              std::tie(e.name, e.min, e.max, e.extra))
        << printed;
  }
  EXPECT_EQ(cases, 22);
  pkgwriter::ListEntry e;
  std::string error;
  EXPECT_FALSE(parseRelation("api:1", false, e, error)) << "extra outside provides";
}
