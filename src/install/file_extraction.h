// Creating a package's file tree below /flash.
#pragma once

#include <string>

#include "console/console.h"
#include "install/install_step.h"
#include "model/package.h"

class PartStream;
class PackageJournal;
struct ConfinedPlace;

// Extracts the file tree whose (compressed) payload is the current part of
// stream, below /flash (a disabled package below /flash/x/<name>), recording
// every created path but directories in package.files. Failed after the first
// failure, which has been reported; what was made so far stays recorded. The
// tree is whole only when its compressed data reach their end marker with a
// matching check and no entry is cut short; anything else is a broken package.
// With a journal, an object whose place is taken (but for a directory kept for
// a directory entry) is made in the journal instead, and the place is left as
// it was until the installation is applied; a directory standing in the place
// of anything else is a failure.
[[nodiscard]] InstallStep extractFiles(Console& console, InstalledPackage& package,
                                       PartStream& stream, PackageJournal* journal = nullptr);

// Whether leaf in parent is never a package's to make or replace: the
// database directory and the installer's own files at the top of /flash.
bool reservedPlace(const ConfinedPlace& parent, const std::string& leaf);
