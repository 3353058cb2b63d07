// Installing one package whose header parts were read, and registering a
// package without files of its own (a bundle record).
#pragma once

#include "console/console.h"
#include "model/package.h"
#include "model/run_flags.h"

class PartStream;

// Walks the package's remaining parts (image payload passed over, scripts into
// the entry, file tree below /flash, signature trailer or known digest), then
// writes its record, leaves /flash/UPGRADED for a boot-image package, syncs and
// runs its install script unless it is disabled. False after a failure, which
// has been reported once (an entry directory that cannot be made too); what
// this installation made is then removed again: its files but those another
// installed record lists, and its entry unless the package has the alternate
// magic (which makes none). With bootImageInPlace in runFlags, a boot-image
// package's file tree is passed over.
bool installPackage(Console& console, InstalledPackage& package, PartStream& stream,
                    RunFlags runFlags);

// Creates the entry directory and writes the record; false (reported, with
// the entry removed again) when either fails.
bool registerPackage(Console& console, InstalledPackage& package);

// Runs "/var/pdb/<name>/<scriptName>" of the package with bash in a child
// process whose root is /flash. True when there is no such script or it ended
// with status 0; otherwise the warning "package %s %s script failed" and false.
bool runScript(Console& console, const InstalledPackage& package, const char* scriptName);
