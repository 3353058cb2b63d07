// Where a package's database entry lives.
#pragma once

#include <string>

#include "files/file_handle.h"
#include "model/package.h"

// The directory below which packages install their files.
inline constexpr char flashDir[] = "/flash";

// "/flash/var/pdb/" + name + "/": the database entry directory of a package.
std::string packageDir(const Package& package);

// The database directory var/pdb, resolved below /flash without leaving it
// (see ConfinedDir); with makeMissing, missing levels are made (0770). No
// descriptor (errno set, EXDEV when a link leads out of /flash) on failure.
FileHandle openDatabaseDir(bool makeMissing);

// The entry directory of the package named name in the database directory
// database, opened without following a link. With create, a missing entry is
// made (0770) and anything but a directory at its place (a link, a file) is
// removed first. No descriptor (errno set) on failure; EINVAL for a name that
// is not plain.
FileHandle openPackageDir(int database, const std::string& name, bool create);

// Whether name can stand as one directory entry that the loader sees: not
// empty, not beginning with '.' (which also rules out "." and ".."), and
// without '/'. Names from package headers are untrusted; the database touches
// the entry of a package only when its name passes this test.
bool isPlainName(const std::string& name);

// Whether a relative path names its own parent somewhere: a ".." component
// ("..", "../x", "a/../b", "a/.."). Such a path from a package or from the
// database could leave the directory it is joined to; names that merely
// contain dots ("a..b", "...", ".x") are ordinary.
bool climbsUp(const std::string& path);
