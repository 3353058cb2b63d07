#include "pdb/package_dir.h"

std::string packageDir(const Package& package) { return "/flash/var/pdb/" + package.name + "/"; }

bool isPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}
