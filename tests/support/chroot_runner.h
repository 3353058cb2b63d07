// Runs a piece of a test in a forked child chrooted into a scratch directory,
// so that code using device paths ("/flash/...") works on scratch files; the
// child's exit status carries whether a check in it failed.
#pragma once

#include <functional>
#include <string>

#include "console/console.h"

namespace testing_support {

// Exit statuses of the child; passing is not 0, so that a stray exec that
// ended well does not pass.
constexpr int childPassed = 64;
constexpr int childFailed = 1;
constexpr int childSetupFailed = 77;  // chroot or mount not possible here

struct ChrootOptions {
  // When set: a tmpfs of tmpfsBytes on root + tmpfsAt, private to the child.
  std::string tmpfsAt;
  std::size_t tmpfsBytes = 0;
};

// The child's exit status, or -1 when it did not exit normally.
int runChrooted(const std::string& root, const std::function<void()>& body,
                const ChrootOptions& options = {});

// A fresh Console for a chrooted child, writing to memory.
Console& childConsole();

}  // namespace testing_support

// Runs body chrooted into root; fails the test when a check in it failed,
// skips it when changing root is not possible here.
#define RUN_CHROOTED(root, ...)                                                                \
  do {                                                                                         \
    const int chrootStatus = ::testing_support::runChrooted((root), __VA_ARGS__);              \
    if (chrootStatus == ::testing_support::childSetupFailed)                                   \
      GTEST_SKIP() << "cannot change root or mount a file system here";                        \
    EXPECT_EQ(::testing_support::childPassed, chrootStatus) << "checks in the chrooted child"; \
  } while (0)
