// Creating a directory path level by level.
#pragma once

#include <string>

// Creates path and every missing directory above it with mode 0770; with
// parentsOnly, only the directories above its last component. A level that
// already exists counts as done, whatever it is. True when every level
// exists; the first other failure stops the walk (errno tells why). Reports
// nothing.
bool makeDirectories(const std::string& path, bool parentsOnly);
