// Where a package's database entry lives.
#pragma once

#include <string>

#include "model/package.h"

// "/flash/var/pdb/" + name + "/": the database entry directory of a package.
std::string packageDir(const Package& package);

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
