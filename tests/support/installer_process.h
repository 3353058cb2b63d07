// Runs the built programs (the installer, tpk), capturing their output exactly.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace testing_support {

struct ProcessResult {
  int status = -1;            // exit status, or -1 when the program did not exit normally
  std::string output;         // standard output, byte for byte
  std::string errors;         // standard error
  char stateAtTimeLimit = 0;  // process state ('S', ...) when killed at the time limit
};

struct ProcessOptions {  // environment: set over ours less arch, bootimage, SOURCE_DATE_EPOCH
  std::map<std::string, std::string> environment;
  std::string input;           // standard input
  int timeLimitSeconds = 120;  // then the program is killed
  std::string killOnceRead;    // a named pipe: the program is killed once it is opened to read
};

// Empty when the installer can change its root here (as root, or through
// "unshare -r"), otherwise the reason.
std::string rootChangeUnavailable();

// Runs program (looked up on PATH) with args (argv[0] included), through
// "unshare -r" when not root; one still running at the time limit is killed,
// its state noted.
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});

// Runs a program of this build with args (argv[0] included), through "unshare
// -r" when not root and, in a cross build, through the emulator CTest uses.
ProcessResult runBuiltProgram(const std::string& program, const std::vector<std::string>& args,
                              const ProcessOptions& options = {});

// A scratch device root: /flash/var/pdb, /ram/pdb and /rw exist, empty.
class DeviceRoot : public ScratchDir {
 public:
  DeviceRoot();
  std::string at(const std::string& devicePath) const { return path() + devicePath; }
  // Runs the built installer with "-r <root>" followed by args.
  ProcessResult run(const std::vector<std::string>& args, const ProcessOptions& options = {}) const;
};

}  // namespace testing_support

#define SKIP_UNLESS_ROOT_CHANGE_WORKS()                                                       \
  if (const std::string reason = ::testing_support::rootChangeUnavailable(); !reason.empty()) \
  GTEST_SKIP() << reason
