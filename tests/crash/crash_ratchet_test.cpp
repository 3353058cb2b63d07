// Every point of every scenario and fault mode ends as the uninterrupted run:
// of all call numbers natively, of the sample in the sanitizer and cross builds
// (CRASH_SAMPLED). tests/data/crash/baseline.txt records crash_table's counts.
#include <gtest/gtest.h>

#include <algorithm>

#include "crash/crash_harness.h"

namespace {

using namespace crash;

class CrashRatchet : public testing::TestWithParam<std::size_t> {};

TEST_P(CrashRatchet, NoPointMissesTheUninterruptedResult) {
  if (const std::string why = harnessUnavailable(); !why.empty()) GTEST_SKIP() << why;
  const Scenario& scenario = scenarios().at(GetParam());
  std::string problem;
  for (const Tally& tally : measure(scenario, CRASH_SAMPLED, problem)) {
    EXPECT_GT(tally.tried, 0) << tally.mode << " has no point";
    EXPECT_EQ(tally.passed, tally.tried)
        << tally.mode << " of " << scenario.name << ": " << testing::PrintToString(tally.failures);
  }
  EXPECT_EQ(problem, "") << scenario.name;
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CrashRatchet,
                         testing::Range<std::size_t>(0, scenarios().size()),
                         [](const testing::TestParamInfo<std::size_t>& info) {
                           std::string name = scenarios().at(info.param).name;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
