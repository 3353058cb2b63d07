// The installer's transactions: scheduled actions, the clean-up run and
// installing one package or bundle from a package stream.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "console/console.h"
#include "model/run_flags.h"
#include "plan/flash_effects.h"
#include "plan/install_outcome.h"

class PartStream;

// Package name -> 1 disabled, 0 enabled: states the user forced.
using UserStates = std::map<std::string, unsigned char>;

// What carrying out the scheduled actions came to (a step of it that fails
// reports itself, and the others go on):
//   Executed  the plan held something to execute, which was carried out
//   Empty     the plan held nothing: nothing changed
enum class PlanRun : std::uint8_t { Executed, Empty };

// Plans and executes the scheduled actions through effects; report 0 silent,
// 1 with messages. keep,
// when given, is a record that must come out of the plan as it went in: an
// action to disable or uninstall it, or the bundle it belongs to, is cancelled
// before anything is executed.
[[nodiscard]] PlanRun applyScheduledActions(Console& console, FlashEffects& effects, int report,
                                            InstalledPackage* keep = nullptr);

// The --cleanup run: every ordinary package not made for this system
// generation is uninstalled, unless an enabled package depends on it; the
// result is that of this uninstallation (the scheduled actions carried out
// before it are not counted).
[[nodiscard]] PlanRun cleanup(Console& console, FlashEffects& effects);

// Makes stream stop at the part types an installation reads, so that the
// first part it stops at is the first one an installation would meet.
void wantInstalledParts(PartStream& stream);

// Installs the one package or bundle of a package file that passed the file
// check, read again from its start through the descriptor it was checked
// through (file.descriptor), never through its name; files change through
// effects only. Unless file.bound, a bundle's own parts, which no signature
// then covers, are trusted only so far: it replaces no installed package that
// is not a bundle, its flag word and its dependency and conflict lists are not
// taken, and its default-disabled list acts on its own members (file.members)
// only. imageDir receives the database directory of an image package as soon
// as its header is read; withBootImage whether the installed package (a
// member, for a bundle) carries the boot image. A failed member ends a bundle
// there: the members not reached keep their installed releases, and the
// bundle its installed record. The bundle's entry stays as it was until every
// member is in.
[[nodiscard]] InstallOutcome installFromStream(Console& console, FlashEffects& effects,
                                               const PackageFile& file, RunFlags runFlags,
                                               const UserStates& userStates, std::string* imageDir,
                                               bool* withBootImage);

// Removes the installed record of that name with its files and entry:
//   Dropped       it was removed, as effects.removePackage removes
//   NotInstalled  there is no record of that name: nothing changed
enum class DropResult : std::uint8_t { Dropped, NotInstalled };
[[nodiscard]] DropResult dropInstalled(Console& console, FlashEffects& effects,
                                       const std::string& name);
