// Whether a package read from a package file may be installed beside the
// installed set: release, device, architecture, dependencies, conflicts.
#pragma once

#include <cstdint>

#include "console/console.h"
#include "model/package.h"
#include "model/run_flags.h"

// Two more bits of the RunFlags word, read only by checkInstall.
enum CheckFlag : RunFlags {
  quietRefusals = 8,    // no message for a failed system, architecture or dependency rule
  quietConflicts = 16,  // no message for a conflict with an installed package
};

// The answer of checkInstall: at most one of Upgrade, Older, Same and
// BundleChange; Refused and Conflicting may come with any of them. 0 means no
// installed package has this name.
using CheckResult = std::uint32_t;
enum CheckResultBit : CheckResult {
  Upgrade = 1,        // the installed package of this name is an older release
  Older = 2,          // the installed package of this name is a newer release
  Same = 4,           // this release is installed, with the same bundle membership
  Refused = 8,        // a system, architecture or dependency rule fails
  Conflicting = 16,   // an enabled installed package conflicts with this one
  BundleChange = 32,  // this release is installed, once in a bundle and once not
};

// The last release that supports flash with 256 KiB erase blocks (3.20rc1).
constexpr Version last256KEraseRelease = 0x03146301;

// "system", or a name beginning with "corvane": only these are checked
// against the device.
bool isBaseSystem(const Package& package);

// Whether the device can run this base-system package: not older than the
// flash device's minimum, and not from before 256 KiB erase blocks on such a
// flash. Reports the reason when report is set.
bool supportsSystem(Console& console, const Package& package, bool report);

// Evaluates every rule and combines their bits; only the first refusal gets a
// message, and the quiet flags silence whole kinds of them. inBundle: the
// package arrives as a member of a bundle.
CheckResult checkInstall(Console& console, const Package& package, bool inBundle, RunFlags flags);
