#include "pdb/make_directories.h"

#include <fcntl.h>

#include <cerrno>
#include <vector>

#include "files/file_platform.h"

namespace {

// POSIX dirname of a path without trailing '/': "." when there is no '/',
// "/" for a path directly below the root.
std::string parentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  std::size_t end = slash;
  while (end > 0 && path[end - 1] == '/') --end;
  if (end == 0) return "/";
  return path.substr(0, end);
}

}  // namespace

bool makeDirectories(const std::string& path, bool parentsOnly) {
  std::string level = path;
  while (level.size() > 1 && level.back() == '/') level.pop_back();

  std::vector<std::string> levels;
  while (!level.empty() && level != "/") {
    levels.push_back(level);
    level = parentOf(level);
    if (level == ".") break;
  }
  if (parentsOnly && !levels.empty()) levels.erase(levels.begin());

  for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
    if (filePlatform().makeDirAt(AT_FDCWD, it->c_str(), 0770) != 0 && errno != EEXIST) return false;
  }
  return true;
}
