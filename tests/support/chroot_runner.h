// Runs a piece of a test in a forked child chrooted into a scratch directory,
// so that code using device paths ("/flash/...") works on scratch files.
#pragma once

#include <functional>
#include <string>

#include "console/console.h"

namespace testing_support {

// Exit statuses of the child; passing is not 0, which a stray exec could give.
// childSetupFailed: chroot or mount not possible here.
constexpr int childPassed = 64, childFailed = 1, childSetupFailed = 77;

struct ChrootOptions {
  std::string tmpfsAt;  // when set: a tmpfs of tmpfsBytes there, private to the child
  std::size_t tmpfsBytes = 0;
  std::size_t tmpfsInodes = 0;  // when not 0: at most this many files and directories there
};

// The child's exit status, or -1 when it did not exit normally.
int runChrooted(const std::string& root, const std::function<void()>& body,
                const ChrootOptions& options = {});

// A fresh Console for a chrooted child, writing to memory.
Console& childConsole();

}  // namespace testing_support

// Runs body chrooted into root: fails when a check in it failed, skips when chroot fails.
#define RUN_CHROOTED(root, ...)                                                                \
  do {                                                                                         \
    const int chrootStatus = ::testing_support::runChrooted((root), __VA_ARGS__);              \
    if (chrootStatus == ::testing_support::childSetupFailed)                                   \
      GTEST_SKIP() << "cannot change root or mount a file system here";                        \
    EXPECT_EQ(::testing_support::childPassed, chrootStatus) << "checks in the chrooted child"; \
  } while (0)
