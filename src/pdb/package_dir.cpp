#include "pdb/package_dir.h"

std::string packageDir(const Package& package) { return "/flash/var/pdb/" + package.name + "/"; }

bool isPlainName(const std::string& name) {
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool climbsUp(const std::string& path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end - start == 2 && path[start] == '.' && path[start + 1] == '.') return true;
    start = end + 1;
  }
  return false;
}
