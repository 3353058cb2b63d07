// The upgrade run over the staging directories.
#pragma once

#include "console/console.h"
#include "model/run_flags.h"

// Installs the package files found in the staging directories, keeps the
// images of image packages and enables again what was available before and
// got lost. True when a package file survived the selection or packages were
// enabled again. Never returns when the installed set ends up empty: the
// device cannot run, and the process stays, idle, for someone to reinstall.
bool runUpgrade(Console& console, RunFlags runFlags);
