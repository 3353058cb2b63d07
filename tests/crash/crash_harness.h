// The crash harness: runs a scenario once to number its file calls, then, for
// each call N and each way a run can end badly there, runs it again with that
// fault, reruns the installer plainly and compares what the device holds with
// what the uninterrupted run left.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace crash {

// A device the scenario starts from: each setup phase places its files (by
// device path), then a plain run installs what they stage; the last phase
// places its files and is the scenario's own run.
struct Placed {
  std::string path, content;
};
struct Scenario {
  std::string name;
  std::vector<std::vector<Placed>> phases;
  std::size_t flashBytes = 0;  // when set: /flash is a file system of that size
  bool shell = false;          // /flash holds a bash for install scripts
};

// The scenarios of tests/data/crash/baseline.txt, in its order.
const std::vector<Scenario>& scenarios();

// The sample the sanitizer and cross builds try: a mode's first point, its eighth, ...
constexpr int sampleStep = 7;

// The points of one fault mode that end as the uninterrupted run.
struct Tally {
  const char* mode = "";
  int tried = 0, passed = 0;           // of all points, or of the sample
  int sampled = 0, sampledPassed = 0;  // of the sample
  std::vector<std::string> failures;   // the first few: "N <n>: <what differed>"
};

// Empty when this process can change roots and mount scratch file systems
// (as root), otherwise the reason. The first call gives the process a mount
// namespace of its own, so that its scratch mounts vanish with it.
std::string harnessUnavailable();

// Each mode's tally (in crash_table's order), of every call number or of the
// sample's; none, with problem set, when the scenario cannot be measured.
std::vector<Tally> measure(const Scenario& scenario, bool sampleOnly, std::string& problem);

}  // namespace crash
