// Removing an installed package: its recorded files and its database entry.
#pragma once

#include "model/package.h"

// Unlinks "/flash/" + each recorded path (failures ignored), then clears the
// list. A recorded path with a ".." component (a damaged database) is passed
// over: it could name a file outside /flash. Directories are never recorded
// and never removed.
void removeFiles(InstalledPackage& package);

// Unlinks every entry of the package's database directory whose name does not
// begin with '.', then removes the directory (failures ignored). For a
// boot-image package, also removes /flash/bootimage when it is the last link
// to its file.
void removePackageDir(const InstalledPackage& package);

// removeFiles, removePackageDir, then action None. Prints nothing.
void removePackage(InstalledPackage& package);
