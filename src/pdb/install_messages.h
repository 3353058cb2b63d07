// The messages of installing a package, shared by the database writer, the
// installation of one package and the file extractor.
#pragma once

#include <string>

#include "console/console.h"
#include "model/package.h"

class PartStream;

// How installation messages name a package: the bundle that delivered it
// (name, and "-" version when its minimum is set) when there is one,
// otherwise the package's own name and version.
std::string installLabel(const InstalledPackage& package);

// Progress line "installing [ (disabled) ]<label>" with the stream's position
// (tellg() + partOffset()) out of its totalLength. The disabled marker shows
// only for a disabled package that did not come with a bundle.
void showInstalling(Console& console, const InstalledPackage& package, PartStream& stream);

// Reports a failed create call; reads errno before doing anything else, so
// call it right after the failing call. what names the thing being created;
// it is a plain pointer so that passing it builds no temporary that could
// disturb errno (pass path.c_str()).
void reportCreateFailure(Console& console, const InstalledPackage& package, const char* what);

// "installation of <label> failed: broken package".
void reportBrokenPackage(Console& console, const InstalledPackage& package);

// "installed [(disabled) ]<name>-<version>" for a package outside a bundle;
// nothing for a member, whose bundle is reported once all members are in.
void reportInstalled(Console& console, const InstalledPackage& package);
