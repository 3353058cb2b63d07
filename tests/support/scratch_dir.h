// A temporary directory for one test, removed with everything below it.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Small file helpers for tests; they fail the current test on error.
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
void makeDirs(const std::string& path);
// A file below tests/data, whole; its lines but blank ones and comments ('#').
std::string dataFile(const std::string& name);
std::vector<std::string> dataLines(const std::string& name);
// The blank-separated words of text; size bytes at data in lower-case hexadecimal.
std::vector<std::string> wordsOf(const std::string& text);
std::string toHex(const void* data, std::size_t size);
// The names of the files in dir ending in extension (".run"), without it,
// sorted; such a name as a test's name ('-' and '.' as '_').
std::vector<std::string> namesEndingIn(const std::string& dir, const std::string& extension);
std::string testName(std::string name);
// Replaces every from in text with to, left to right.
void replaceAll(std::string& text, const std::string& from, const std::string& to);

}  // namespace testing_support
