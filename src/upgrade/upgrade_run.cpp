#include "upgrade/upgrade_run.h"

// The staging directories are not scanned yet: nothing is installed and
// nothing changes.
bool runUpgrade(Console& /*console*/, RunFlags /*runFlags*/) { return false; }
