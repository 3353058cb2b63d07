// A text that changes when anything below a directory changes, for checking
// that a run left a place alone.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// One line per entry below dir (links never followed), sorted: its path
// relative to dir, type, mode, owner, size, modification time (not a
// directory's), and its content (a file), target (a link) or device numbers.
// The link count is left out: replacing a hard link elsewhere changes it
// legitimately. skip: paths relative to dir, beginning with "/", left out with
// everything below them.
std::string fingerprint(const std::string& dir, const std::vector<std::string>& skip = {});

}  // namespace testing_support
