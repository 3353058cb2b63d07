// Removing an installed package: its recorded files and its database entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/console.h"
#include "model/package.h"

// Removes each recorded path below /flash that no other record of
// console.packages lists (paths compared as the file system reads them: a
// file two packages deliver stays with the one left), then clears the list.
// The path's directory is resolved below /flash (see ConfinedDir) and its
// last component removed, never followed; other failures are ignored. A path
// that climbs with ".." or whose directory leads out of /flash (a damaged
// database, or a link made since) is passed over with the warning "file %s of
// %s not removed: outside /flash". Directories are never recorded and never
// removed.
void removeFiles(Console& console, InstalledPackage& package);

// The paths of old's files list that neither another record of others nor
// replacement lists (compared as removeFiles compares them).
std::vector<std::string> pathsLeftBehind(const PackageDb& others, const InstalledPackage& old,
                                         const InstalledPackage& replacement);

// What removing a list of paths came to:
//   Removed     every path is gone or was passed over (a directory, a place
//               outside /flash, a missing directory on the way)
//   NotRemoved  a removal failed for another reason (a full disk, an I/O
//               error), which was not reported: a later try may remove it
enum class PathRemoval : std::uint8_t { Removed, NotRemoved };

// Removes each path as removeFiles does; the warning for a path outside /flash
// names owner, and is left out when owner is empty.
[[nodiscard]] PathRemoval removePaths(Console& console, const std::vector<std::string>& paths,
                                      const std::string& owner);

// Removes every entry of the package's database directory whose name does not
// begin with '.', then the directory (failures ignored); an entry that is a
// link or a file is removed itself, never followed. For a boot-image package,
// also removes /flash/bootimage when it is the last link to its file.
void removePackageDir(const InstalledPackage& package);

// removeFiles, removePackageDir, then action None, as one transaction of the
// journal (install/journal.h): once committed, a run cut short on the way
// leaves the rest to the next. Prints nothing but the warnings of removeFiles.
void removePackage(Console& console, InstalledPackage& package);
