// crash_table: for each scenario and fault mode, how many call numbers lead
// to what the uninterrupted run leaves, of all and of the sample, in the form
// of tests/data/crash/baseline.txt; the first differences go to standard error.
// Arguments, when given, name the only scenarios measured.
#include <algorithm>
#include <cstdio>
#include <string>

#include "crash/crash_harness.h"

int main(int argc, char** argv) {
  if (const std::string why = crash::harnessUnavailable(); !why.empty()) {
    std::fprintf(stderr, "crash_table: %s\n", why.c_str());
    return 2;
  }
  std::printf(
      "# crash_table: per scenario and fault mode, the call numbers after whose fault a\n"
      "# plain rerun leaves what the uninterrupted run leaves, of all and of every %dth.\n"
      "# The ratchet test fails when more points fail; record the new output when fewer do.\n",
      crash::sampleStep);
  for (const crash::Scenario& scenario : crash::scenarios()) {
    if (argc > 1 && std::find(argv + 1, argv + argc, scenario.name) == argv + argc) continue;
    const char* name = scenario.name.c_str();
    std::string problem;
    for (const crash::Tally& tally : crash::measure(scenario, false, problem)) {
      std::printf(
          "%-23s %-14s points equal to the uninterrupted run: %d of %d; every %dth: %d of %d\n",
          name, tally.mode, tally.passed, tally.tried, crash::sampleStep, tally.sampledPassed,
          tally.sampled);
      for (const std::string& failure : tally.failures)
        std::fprintf(stderr, "%s %s %s\n", name, tally.mode, failure.c_str());
    }
    if (!problem.empty()) std::fprintf(stderr, "%s: %s\n", name, problem.c_str());
    std::fflush(stdout);
  }
}
