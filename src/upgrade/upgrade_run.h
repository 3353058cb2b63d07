// The upgrade run over the staging directories.
#pragma once

#include <vector>

#include "console/console.h"
#include "model/run_flags.h"
#include "plan/transaction.h"
#include "upgrade/postlog.h"
#include "upgrade/staging.h"
#include "upgrade/upgrade_effects.h"

// Plans and carries out the scheduled actions the running system left, with
// messages, then consumes their schedule files; the result of
// applyScheduledActions.
[[nodiscard]] PlanRun applySchedules(Console& console, UpgradeEffects& effects);

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
// Files change through effects only. given, when not null, holds the package
// files to install in place of the staged ones.
[[nodiscard]] UpgradeOutcome runUpgrade(Console& console, RunFlags runFlags,
                                        UpgradeEffects& effects,
                                        const std::vector<GivenFile>* given = nullptr);
