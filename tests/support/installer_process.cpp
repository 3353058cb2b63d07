#include "support/installer_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testing_support {
namespace {

bool runningAsRoot() { return geteuid() == 0; }

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

// Writes input to fd in, reads fds out and err to the end; all without
// deadlocking on full pipes. A child still running at the time limit is
// killed, its state noted.
void pump(pid_t child, int in, const std::string& input, int out, int err, int timeLimitSeconds,
          ProcessResult& result) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
  std::size_t written = 0;
  if (input.empty()) {
    close(in);
    in = -1;
  }
  bool outOpen = true, errOpen = true;
  while (outOpen || errOpen || in >= 0) {
    pollfd fds[3];
    int count = 0;
    if (outOpen) fds[count++] = {out, POLLIN, 0};
    if (errOpen) fds[count++] = {err, POLLIN, 0};
    if (in >= 0) fds[count++] = {in, POLLOUT, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    const int ready = result.stateAtTimeLimit != 0 ? poll(fds, count, -1)
                                                   : poll(fds, count, std::max<int>(0, int(left.count())));
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (ready == 0) {
      result.stateAtTimeLimit = processState(child);
      if (result.stateAtTimeLimit == 0) result.stateAtTimeLimit = '?';
      kill(child, SIGKILL);
      continue;
    }
    for (int i = 0; i < count; ++i) {
      if (!fds[i].revents) continue;
      if (fds[i].fd == in) {
        const ssize_t n = write(in, input.data() + written, input.size() - written);
        if (n > 0) written += static_cast<std::size_t>(n);
        if (n < 0 || written == input.size()) {
          close(in);
          in = -1;
        }
        continue;
      }
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        (fds[i].fd == out ? outOpen : errOpen) = false;
      } else {
        (fds[i].fd == out ? result.output : result.errors).append(buffer, static_cast<std::size_t>(n));
      }
    }
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
  ProcessResult result;
  std::vector<std::string> argv;
  if (!runningAsRoot()) argv = {"unshare", "-r"};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::string executable = runningAsRoot() ? program : "/usr/bin/unshare";
  if (!runningAsRoot()) argv[2] = program;

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

  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return result;
  }
  const pid_t child = fork();
  if (child < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return result;
  }
  if (child == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    execvpe(executable.c_str(), argPointers.data(), envPointers.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  std::signal(SIGPIPE, SIG_IGN);
  pump(child, in[1], options.input, out[0], err[0], options.timeLimitSeconds, result);
  close(out[0]);
  close(err[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
