// Device roots laid out from text and read back in the same form.
#pragma once

#include <string>

namespace testing_support {

// Lays out text below root, a line each: "<path>/" makes a directory,
// "<path> = <text>" a file ('|' standing for a line end), "<path> < <sample> [n]"
// a file of the first n bytes of tests/data/packages/<sample>. Paths begin with
// "/"; lines beginning with '#' are comments.
void layOut(const std::string& root, const std::string& text);

// Every entry below dir in the layout's form, sorted, a line each; a file shows
// "<N bytes>" when long or binary, and " (N links)" when linked more than once.
std::string treeText(const std::string& dir);

}  // namespace testing_support
