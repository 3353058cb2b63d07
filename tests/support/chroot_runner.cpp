#include "support/chroot_runner.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace testing_support {

namespace {

[[noreturn]] void leave(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  ::_exit(status);
}

bool mountTmpfs(const std::string& target, std::size_t bytes) {
  if (::unshare(CLONE_NEWNS) != 0) return false;
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  const std::string options = "size=" + std::to_string(bytes);
  return ::mount("tmpfs", target.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

}  // namespace

int runChrooted(const std::string& root, const std::function<void()>& body,
                const ChrootOptions& options) {
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (!options.tmpfsAt.empty() && !mountTmpfs(root + options.tmpfsAt, options.tmpfsBytes))
      leave(childSetupFailed);
    if (::chroot(root.c_str()) != 0 || ::chdir("/") != 0) leave(childSetupFailed);
    body();
    leave(::testing::Test::HasFailure() ? childFailed : childPassed);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Console& childConsole() {
  static char* text = nullptr;
  static std::size_t size = 0;
  return *new Console(::open_memstream(&text, &size));  // the child exits without cleanup
}

}  // namespace testing_support
