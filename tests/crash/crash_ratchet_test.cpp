// No scenario and fault mode may have fewer call numbers that end as the
// uninterrupted run than tests/data/crash/baseline.txt records (the output of
// crash_table). A sampled build tries every CRASH_POINT_STEP-th number: its
// sample may then fail no more often than the whole run could.
#include <gtest/gtest.h>

#include <map>

#include "crash/crash_harness.h"
#include "support/scratch_dir.h"

namespace {

using namespace crash;

// "<scenario> <mode>" -> points that passed, as recorded.
std::map<std::string, int> baseline() {
  std::map<std::string, int> passed;
  for (const std::string& line : testing_support::dataLines("crash/baseline.txt")) {
    const auto words = testing_support::wordsOf(line);
    if (words.size() >= 4) passed[words[0] + " " + words[1]] = std::stoi(words.end()[-3]);
  }
  return passed;
}

class CrashRatchet : public testing::TestWithParam<std::size_t> {};

TEST_P(CrashRatchet, NoFewerPointsReachTheUninterruptedResult) {
  if (const std::string why = harnessUnavailable(); !why.empty()) GTEST_SKIP() << why;
  const Scenario& scenario = scenarios().at(GetParam());
  const Measurement measured = measure(scenario, CRASH_POINT_STEP);
  ASSERT_EQ(measured.problem, "") << scenario.name;
  const auto recorded = baseline();
  for (std::size_t m = 0; m < modeCount; ++m) {
    const std::string row = scenario.name + " " + modeName(static_cast<Mode>(m));
    const Tally& tally = measured.modes[m];
    const auto base = recorded.find(row);
    ASSERT_NE(base, recorded.end()) << row << " is not in the baseline";
    std::string failures;
    for (const std::string& failure : tally.failures) failures += "\n  " + failure;
    EXPECT_LE(tally.tried - tally.passed, tally.points - base->second)
        << row << ": " << tally.passed << " of " << tally.tried << " tried (of " << tally.points
        << "), the baseline " << base->second << failures;
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CrashRatchet, testing::Range<std::size_t>(0, scenarios().size()),
                         [](const testing::TestParamInfo<std::size_t>& info) {
                           std::string name = scenarios().at(info.param).name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
