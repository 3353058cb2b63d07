#include "support/installer_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

namespace testing_support {
namespace {

bool runningAsRoot() { return geteuid() == 0; }

std::string readAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  return text;
}

// The state letter of a process ('R', 'S', ...), 0 when it cannot be read.
char processState(pid_t pid) {
  std::FILE* stat = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (stat == nullptr) return 0;
  char line[512] = {};
  const bool read = std::fgets(line, sizeof line, stat) != nullptr;
  std::fclose(stat);
  const char* close = read ? std::strrchr(line, ')') : nullptr;
  return close != nullptr && close[1] == ' ' ? close[2] : 0;
}

// Waits for the child to end. One still running at the time limit is killed,
// its state then noted.
void awaitExit(pid_t child, int timeLimitSeconds, int& status, ProcessResult& result) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
  auto nap = std::chrono::milliseconds(1);
  for (;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) return;
    if (done == 0 && result.stateAtTimeLimit == 0 && std::chrono::steady_clock::now() >= deadline) {
      result.stateAtTimeLimit = processState(child);
      if (result.stateAtTimeLimit == 0) result.stateAtTimeLimit = '?';
      kill(child, SIGKILL);
    }
    std::this_thread::sleep_for(nap);
    nap = std::min(nap * 2, std::chrono::milliseconds(20));
  }
}

}  // namespace

std::string rootChangeUnavailable() {
  static const std::string reason = [] {
    if (runningAsRoot()) return std::string();
    const ProcessResult probe = runProgram("/bin/true", {"/bin/true"});
    if (probe.status == 0) return std::string();
    return std::string("cannot change root: not root and \"unshare -r\" does not work here");
  }();
  return reason;
}

ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
  std::vector<std::string> argv = args;
  std::string executable = program;
  if (!runningAsRoot()) {
    argv.insert(argv.begin(), {"unshare", "-r"});
    argv[2] = program;
    executable = "/usr/bin/unshare";
  }
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    bool drop = options.environment.count(name) != 0 || name == "arch" || name == "bootimage";
    for (const std::string& unset : options.unset) drop = drop || unset == name;
    if (!drop) environment.push_back(text);
  }
  for (const auto& [name, value] : options.environment) environment.push_back(name + "=" + value);
  std::vector<char*> argPointers, envPointers;
  for (std::string& arg : argv) argPointers.push_back(arg.data());
  argPointers.push_back(nullptr);
  for (std::string& entry : environment) envPointers.push_back(entry.data());
  envPointers.push_back(nullptr);

  // Standard input, output and error go through temporary files.
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  std::fwrite(options.input.data(), 1, options.input.size(), in);
  std::fflush(in);
  std::rewind(in);
  ProcessResult result;
  const pid_t child = fork();
  if (child == 0) {
    dup2(fileno(in), 0);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    execvpe(executable.c_str(), argPointers.data(), envPointers.data());
    _exit(127);
  }
  int status = 0;
  if (child > 0) awaitExit(child, options.timeLimitSeconds, status, result);
  std::fclose(in);
  result.status = child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.output = readAll(out);
  result.errors = readAll(err);
  return result;
}

ProcessResult runBuiltProgram(const std::string& program, const std::vector<std::string>& args,
                              const ProcessOptions& options) {
  // INSTALLER_EMULATOR: the emulator command, words separated by blanks; empty
  // in a native build.
  std::vector<std::string> command;
  std::istringstream words(INSTALLER_EMULATOR);
  for (std::string word; words >> word;) command.push_back(word);
  if (command.empty()) return runProgram(program, args, options);
  command.insert(command.end(), args.begin(), args.end());
  return runProgram(command.front(), command, options);
}

DeviceRoot::DeviceRoot() {
  makeDirs(at("/flash/var/pdb"));
  makeDirs(at("/ram/pdb"));
  makeDirs(at("/rw"));
}

ProcessResult DeviceRoot::run(const std::vector<std::string>& args,
                              const ProcessOptions& options) const {
  std::vector<std::string> argv = {INSTALLER_BINARY, "-r", path()};
  argv.insert(argv.end(), args.begin(), args.end());
  // The leak checker of a sanitizer build reads /proc at exit, which the
  // installer no longer sees once it has changed its root: it would fail
  // every run. The in-process tests still check for leaks.
  ProcessOptions withoutLeakCheck = options;
  if (std::getenv("LSAN_OPTIONS") == nullptr)
    withoutLeakCheck.environment.emplace("LSAN_OPTIONS", "detect_leaks=0");
  return runBuiltProgram(INSTALLER_BINARY, argv, withoutLeakCheck);
}

}  // namespace testing_support
