// The lines a run's standard output leaves on a terminal, without the status
// line and its progress bars.
#pragma once

#include <string>
#include <vector>

namespace tpk {

// Each line ended by "\n", as shown: the text after its last carriage return
// (status lines are rewritten in place after one), the cursor controls around
// status lines left out. A last piece without "\n" is a status line and is
// left out too.
std::vector<std::string> shownLines(const std::string& output);

}  // namespace tpk
