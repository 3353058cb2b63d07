// The crash harness: runs a scenario once to number its file calls, then, for
// each call N and each way a run can end badly there, runs it again with that
// fault, reruns the installer plainly and compares what the device holds with
// what the uninterrupted run left.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace crash {

// How the run meets call N.
enum class Mode : std::uint8_t {
  KillBefore = 0,      // the process is killed before call N
  KillAfter = 1,       // killed after call N (before call N + 1, or at the end)
  TornWrite = 2,       // call N, a write, reaches the file in part; then the kill
  FailNoSpace = 3,     // call N fails with ENOSPC, the run goes on
  FailIo = 4,          // call N fails with EIO, the run goes on
  PowerCutSynced = 5,  // the power goes at call N; what no sync made durable is lost
  PowerCutRam = 6,     // the power goes at call N; only RAM is lost
  KillRecovery = 7,    // killed before call N, the next run killed at its call N too
};
constexpr std::size_t modeCount = 8;
const char* modeName(Mode mode);

// A device the scenario starts from: each setup phase places its files, then
// a plain run installs what they stage; the last phase places its files and
// is the scenario's own run.
struct Placed {
  std::string path;  // device path, "/flash/rw/pckg/tool.tpk"
  std::string content;
};
struct Scenario {
  std::string name;
  std::vector<std::vector<Placed>> phases;
  std::size_t flashBytes = 0;  // when set: /flash is a file system of that size
  bool shell = false;          // /flash holds a bash for install scripts
};

// The scenarios of tests/data/crash/baseline.txt, in its order.
const std::vector<Scenario>& scenarios();

// The sample the sanitizer and cross builds try: a mode's first point, its
// eighth, ...
constexpr int sampleStep = 7;

struct Tally {
  int points = 0;                      // the calls the mode applies to
  int tried = 0, passed = 0;           // of those tried (all, or the sample)
  int sampled = 0, sampledPassed = 0;  // of those in the sample
  std::vector<std::string> failures;   // the first few: "N <n>: <what differed>"
};

struct Measurement {
  std::string problem;  // set when the scenario itself could not be measured
  std::size_t calls = 0;
  std::array<Tally, modeCount> modes;
};

// Empty when this process can change roots and mount scratch file systems
// (as root), otherwise the reason. The first call gives the process a mount
// namespace of its own, so that its scratch mounts vanish with it.
std::string harnessUnavailable();

// Tries each mode at every call number, or at the sample's only.
Measurement measure(const Scenario& scenario, bool sampleOnly);

}  // namespace crash
