// crash_table [step]: for each scenario and fault mode, how many call numbers
// lead to what the uninterrupted run leaves, in the form of
// tests/data/crash/baseline.txt; the first differences go to standard error.
#include <cstdio>
#include <cstdlib>

#include "crash/crash_harness.h"

int main(int argc, char** argv) {
  const int step = argc > 1 ? std::atoi(argv[1]) : 1;
  if (const std::string why = crash::harnessUnavailable(); !why.empty() || step < 1) {
    std::fprintf(stderr, "crash_table: %s\n", why.empty() ? "usage: crash_table [step]" : why.c_str());
    return 2;
  }
  std::printf("# crash_table %d: per scenario and fault mode, the call numbers after whose fault\n"
              "# a plain rerun leaves what the uninterrupted run leaves. The ratchet test\n"
              "# fails when fewer pass; raise these lines with the new output.\n",
              step);
  for (const crash::Scenario& scenario : crash::scenarios()) {
    const crash::Measurement measured = crash::measure(scenario, step);
    if (!measured.problem.empty())
      std::fprintf(stderr, "%s: %s\n", scenario.name.c_str(), measured.problem.c_str());
    for (std::size_t m = 0; m < crash::modeCount; ++m) {
      const crash::Tally& tally = measured.modes[m];
      const char* mode = crash::modeName(static_cast<crash::Mode>(m));
      std::printf("%-24s %-14s points equal to the uninterrupted run: %d of %d\n",
                  scenario.name.c_str(), mode, tally.passed, tally.tried);
      for (const std::string& failure : tally.failures)
        std::fprintf(stderr, "%s %s %s\n", scenario.name.c_str(), mode, failure.c_str());
    }
    std::fflush(stdout);
  }
  return 0;
}
