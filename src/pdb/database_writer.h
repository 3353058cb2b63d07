// Writing a package's database entry: the entry directory, the meta files,
// the scripts and the enabled/disabled state, in the formats the loader reads.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "console/console.h"
#include "files/write_all.h"
#include "model/package.h"
#include "pdb/package_dir.h"

// Writes version, deps, provides, conflicts, bundle and files (or removes all
// but files for an imageMeta package), then the disabled/enabled files, and removes
// oninstall of an image package, in the entry directory dir; the package's
// name is not checked. A meta file that cannot be written ends the work there
// with one "installation of ... failed" error naming it "meta/<file>" (the
// state's file as "meta/disabled" or "meta/enabled"); the result is then
// NotWritten (reported).
[[nodiscard]] WriteResult writePackageRecord(Console& console, const InstalledPackage& package,
                                             int dir);

// The meta files below are written in the entry directory dir, never through
// a link: FileOutput replaces one standing at a name.
// One line per entry: "name min max" and, withExtra, " extra". NotWritten,
// errno set, on failure. Reports nothing.
[[nodiscard]] WriteResult writeDependencyList(int dir, const char* name,
                                              const std::vector<Dependency>& list, bool withExtra);

// The files list, each path without its leading '/'; a bundle has none and
// gets Written without a write. A path holding a line break cannot be
// recorded: NotWritten with errno EINVAL and nothing written; a failed write is
// NotWritten with errno set. Reports nothing.
[[nodiscard]] WriteResult writeFileList(int dir, const InstalledPackage& package);

// Copies length bytes of script payload from stream (a PartStream positioned
// at the start of a script part's payload) into the entry's scriptName file
// behind the script header, mode 0755. The payload is streamed in chunks, never
// held whole. A short payload is a broken package (no file is left); a file
// that cannot be written or made executable is reported with scriptName.
// Either is NotWritten (reported).
[[nodiscard]] WriteResult writeScript(Console& console, const InstalledPackage& package,
                                      std::istream& stream, std::uint32_t length,
                                      const char* scriptName);
// The same into the directory dir; the package's name is not checked.
[[nodiscard]] WriteResult writeScript(Console& console, const InstalledPackage& package,
                                      std::istream& stream, std::uint32_t length,
                                      const char* scriptName, int dir);

// What recording a package's enabled or disabled state came to:
//   Recorded    the entry's flag files say the new state
//   NoEntry     the entry directory could neither be opened nor made: no flag
//               file was written
//   NotWritten  a flag file could not be written
//   NotFiled    the name is not a plain name, so it has no entry: nothing was
//               written and nothing is wrong with that
// In every case the record itself takes the new state.
enum class MarkResult { Recorded, NoEntry, NotWritten, NotFiled };

// Records the disabled state ("user" when userForced, else "auto") and sets
// disabled, action None. Creates a missing entry directory. Reports nothing.
// A state file is written beside the entries under a dot-name and renamed in.
[[nodiscard]] MarkResult markDisabled(InstalledPackage& package);

// Records the enabled state ("enabled" holding "user" only when userForced)
// and sets disabled false, action None. Creates a missing entry directory.
// Reports nothing.
[[nodiscard]] MarkResult markEnabled(InstalledPackage& package);

// Removes the temporary a state write cut short left in the database
// directory database.
void removeStateTemporary(int database);
