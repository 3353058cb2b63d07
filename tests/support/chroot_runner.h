// Runs a piece of a test in a forked child whose root directory is a scratch
// directory, so that code using absolute device paths ("/flash/...") works on
// scratch files. GoogleTest checks inside the body are printed by the child;
// the child's exit status carries whether any of them failed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "console/console.h"

namespace testing_support {

// Exit statuses of the child. Passing is not 0, so that a child that became
// another program (a stray exec) and ended well does not pass.
constexpr int childPassed = 64;
constexpr int childFailed = 1;
constexpr int childSetupFailed = 77;  // chroot or mount not possible here

struct ChrootOptions {
  // When set: a tmpfs of tmpfsBytes is mounted on root + tmpfsAt (an existing
  // directory) in a private mount namespace of the child, gone with it.
  std::string tmpfsAt;
  std::size_t tmpfsBytes = 0;
};

// The child's exit status, or -1 when it did not exit normally.
int runChrooted(const std::string& root, const std::function<void()>& body,
                const ChrootOptions& options = {});

// A fresh Console for a chrooted child: its output goes to memory (no device
// files are needed); its messages are in messages as usual.
Console& childConsole();

}  // namespace testing_support

// Runs body chrooted into root; fails the test when a check in it failed,
// skips it when changing root is not possible here.
#define RUN_CHROOTED(root, ...)                                                    \
  do {                                                                             \
    const int chrootStatus = ::testing_support::runChrooted((root), __VA_ARGS__);      \
    if (chrootStatus == ::testing_support::childSetupFailed)                           \
      GTEST_SKIP() << "cannot change root or mount a file system here";            \
    EXPECT_EQ(::testing_support::childPassed, chrootStatus) << "checks in the chrooted child"; \
  } while (0)
