// Runs a built program (the installer) against a scratch device root and
// captures its exit status and the exact bytes of its standard output.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace testing_support {

struct ProcessResult {
  int status = -1;     // exit status, or -1 when the program did not exit normally
  std::string output;  // standard output, byte for byte
  std::string errors;  // standard error
  // When the program was still running at the time limit: its process state
  // then ('S' sleeping, 'R' running, ...), before it was killed; 0 otherwise.
  char stateAtTimeLimit = 0;
};

struct ProcessOptions {
  std::map<std::string, std::string> environment;  // set in addition to a clean base
  std::vector<std::string> unset;                  // removed from the environment
  std::string input;                               // standard input
  int timeLimitSeconds = 120;                      // then the program is killed
};

// Whether the installer can change its root here: as root, or through
// "unshare -r" (a user namespace mapping us to root). Empty when possible,
// otherwise the reason.
std::string rootChangeUnavailable();

// Runs program with args (argv[0] is program; a program without a slash is
// looked up in PATH). When not root the call goes through "unshare -r".
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});

// Runs a program of this build (the installer, tpk) like runProgram; in a cross
// build through the emulator that CTest uses (INSTALLER_EMULATOR).
ProcessResult runBuiltProgram(const std::string& program, const std::vector<std::string>& args,
                              const ProcessOptions& options = {});

// A scratch device root: /flash/var/pdb, /ram/pdb and /rw exist, empty.
class DeviceRoot : public ScratchDir {
public:
  DeviceRoot();
  // path() + absolute device path
  std::string at(const std::string& devicePath) const { return path() + devicePath; }
  // Runs the built installer with "-r <root>" followed by args.
  ProcessResult run(const std::vector<std::string>& args, const ProcessOptions& options = {}) const;
};

}  // namespace testing_support

// Skips the current test when the installer cannot change root here.
#define SKIP_UNLESS_ROOT_CHANGE_WORKS()                                        \
  do {                                                                         \
    const std::string reason = ::testing_support::rootChangeUnavailable();     \
    if (!reason.empty()) GTEST_SKIP() << reason;                               \
  } while (0)
