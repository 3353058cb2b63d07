// Creating a package's file tree below /flash.
#pragma once

#include "console/console.h"
#include "model/package.h"

class PartStream;

// Extracts the file tree whose (compressed) payload is the current part of
// stream, below /flash (a disabled package below /flash/x/<name>), recording
// every created path but directories in package.files. False after the first
// failure, which has been reported; what was made so far stays recorded. The
// tree is whole only when its compressed data reach their end marker with a
// matching check and no entry is cut short; anything else is a broken package.
bool extractFiles(Console& console, InstalledPackage& package, PartStream& stream);
