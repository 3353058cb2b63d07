// Installing one package whose header parts were read, and registering a
// package without files of its own (a bundle record).
#pragma once

#include <set>
#include <string>

#include "console/console.h"
#include "install/install_step.h"
#include "install/journal.h"
#include "model/package.h"
#include "model/run_flags.h"

class PartStream;

// Walks the package's remaining parts (image payload passed over, scripts into
// the entry, file tree below /flash, signature trailer or known digest), then
// writes its record, leaves /flash/UPGRADED for a boot-image package, syncs and
// runs its install script unless it is disabled. The installation is one
// transaction of the journal (install/journal.h): it replaces old, the
// installed release of the name when given, only once it is wholly prepared
// and committed, and then removes old's files that it does not deliver itself
// and no other record of console.packages lists. Failed after a failure, which
// has been reported once (an entry that cannot be prepared too); old and its
// files are then as they were, and of what this installation made only
// directories stay. A package with the alternate magic makes no entry: its
// files are made in place, and removed again after a failure. With
// bootImageInPlace in runFlags, a boot-image package's file tree is passed
// over. staged, when given, is the installation from a staged package file the
// package is read from: the commit record names its file (a bundle member's
// goes with the bundle's record), so that a run cut short after the commit
// still removes it, and the apply of that record is noted in it.
[[nodiscard]] InstallStep installPackage(Console& console, InstalledPackage& package,
                                         PartStream& stream, RunFlags runFlags,
                                         const InstalledPackage* old = nullptr,
                                         StagedInstall* staged = nullptr);

// Writes the record of a bundle whose members are in, in place of old (its
// installed record, when given), as one transaction of the journal; Failed
// (reported) when it cannot be written, old's entry then as it was. The
// members named in replaced (records of console.packages) are the caller's to
// remove; a run cut short before that leaves them to the next run. The
// commit record names staged's file (when given) as installPackage's does.
[[nodiscard]] InstallStep registerBundle(Console& console, InstalledPackage& bundle,
                                         const InstalledPackage* old,
                                         const std::set<std::string>& replaced,
                                         StagedInstall* staged);

// Runs "/var/pdb/<name>/<scriptName>" of the package with bash in a child
// process whose root is /flash.
//   Passed  there is no such script, or it ended with status 0
//   Failed  it could not be started or did not end with status 0: the warning
//           "package %s %s script failed" was given; what the script belongs
//           to (an installation, a removal) stands all the same
enum class ScriptRun : std::uint8_t { Passed, Failed };
[[nodiscard]] ScriptRun runScript(Console& console, const InstalledPackage& package,
                                  const char* scriptName);
