// No scenario and fault mode may have more call numbers that do not end as
// the uninterrupted run than tests/data/crash/baseline.txt records (the output
// of crash_table): of all of them natively, of the sample in the sanitizer and
// cross builds (CRASH_SAMPLED). Points that fail are counted, not points that
// pass, so that a change which only adds or drops a file call does not move
// the measure.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "crash/crash_harness.h"
#include "support/scratch_dir.h"

namespace {

using namespace crash;

// "<scenario> <mode>" -> the points that failed, of all or of the sample.
std::map<std::string, int> baseline() {
  std::map<std::string, int> failed;
  for (const std::string& line : testing_support::dataLines("crash/baseline.txt")) {
    const auto words = testing_support::wordsOf(line);
    const std::string label = CRASH_SAMPLED ? std::to_string(sampleStep) + "th:" : "run:";
    const auto count = std::find(words.begin(), words.end(), label);
    // "<label> <passed> of <tried>"
    if (words.size() > 2 && words.end() - count > 3)
      failed[words[0] + " " + words[1]] = std::stoi(count[3]) - std::stoi(count[1]);
  }
  return failed;
}

class CrashRatchet : public testing::TestWithParam<std::size_t> {};

TEST_P(CrashRatchet, NoMorePointsMissTheUninterruptedResult) {
  if (const std::string why = harnessUnavailable(); !why.empty()) GTEST_SKIP() << why;
  const Scenario& scenario = scenarios().at(GetParam());
  const Measurement measured = measure(scenario, CRASH_SAMPLED);
  ASSERT_EQ(measured.problem, "") << scenario.name;
  const auto recorded = baseline();
  for (std::size_t m = 0; m < modeCount; ++m) {
    const std::string row = scenario.name + " " + modeName(static_cast<Mode>(m));
    const Tally& tally = measured.modes[m];
    const auto base = recorded.find(row);
    ASSERT_NE(base, recorded.end()) << row << " is not in the baseline";
    std::string failures;
    for (const std::string& failure : tally.failures) failures += "\n  " + failure;
    EXPECT_LE(tally.tried - tally.passed, base->second)
        << row << ": " << tally.passed << " of " << tally.tried << " tried" << failures;
  }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CrashRatchet,
                         testing::Range<std::size_t>(0, scenarios().size()),
                         [](const testing::TestParamInfo<std::size_t>& info) {
                           std::string name = scenarios().at(info.param).name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

}  // namespace
