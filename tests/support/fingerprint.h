// A fingerprint of everything below a directory, to show that a run changed
// nothing there.
#pragma once

#include <string>

namespace testing_support {

// One line per object below dir (dir itself included), sorted: its path
// relative to dir, type and mode, size, owner, modification time, a hash of a file's contents and a
// link's target; nothing below skip (a path relative to dir, e.g. "flash").
// Links are not followed.
std::string fingerprint(const std::string& dir, const std::string& skip = "");

}  // namespace testing_support
