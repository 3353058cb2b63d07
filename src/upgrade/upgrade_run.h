// The upgrade run over the staging directories.
#pragma once

#include "console/console.h"
#include "model/run_flags.h"
#include "upgrade/postlog.h"

// What an upgrade run did: whether anything changed, and whether it reserved
// the message log's space.
struct UpgradeOutcome {
  bool changed = false;
  PostlogSpace log = PostlogSpace::Unreserved;
};

// Installs the package files found in the staging directories, keeps the
// images of image packages and enables again what was available before and
// got lost. changed when a package file survived the selection or packages
// were enabled again; the log's space is reserved before the first package
// file is installed. Never returns when the installed set ends up empty: the
// device cannot run, and the process stays, idle, for someone to reinstall.
[[nodiscard]] UpgradeOutcome runUpgrade(Console& console, RunFlags runFlags);
