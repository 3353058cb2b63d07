// The upgrade run over the staging directories.
#pragma once

#include "console/console.h"
#include "model/run_flags.h"

// Installs the package files found in the staging directories. Returns whether
// the run changed anything.
bool runUpgrade(Console& console, RunFlags runFlags);
