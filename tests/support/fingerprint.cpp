#include "support/fingerprint.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/scratch_dir.h"

namespace testing_support {
namespace {

std::string describe(const std::string& path, const struct stat& status) {
  std::ostringstream line;
  line << std::oct << status.st_mode << std::dec << ' ' << status.st_uid << ':' << status.st_gid
       << ' ' << status.st_size;
  // A directory's own times change with its entries, which have lines of their own.
  if (!S_ISDIR(status.st_mode))
    line << ' ' << status.st_mtim.tv_sec << '.' << status.st_mtim.tv_nsec;
  if (S_ISREG(status.st_mode)) line << " = " << readFile(path);
  if (S_ISLNK(status.st_mode)) line << " -> " << std::filesystem::read_symlink(path).string();
  if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
    line << " dev " << major(status.st_rdev) << ',' << minor(status.st_rdev);
  return line.str();
}

}  // namespace

std::string fingerprint(const std::string& dir, const std::vector<std::string>& skip) {
  std::vector<std::string> lines;
  std::vector<std::string> pending = {""};
  while (!pending.empty()) {
    const std::string relative = pending.back();
    pending.pop_back();
    struct stat status;
    if (::lstat((dir + relative).c_str(), &status) != 0) continue;
    lines.push_back((relative.empty() ? "/" : relative) + ' ' + describe(dir + relative, status));
    if (!S_ISDIR(status.st_mode)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir + relative)) {
      const std::string child = relative + '/' + entry.path().filename().string();
      if (std::find(skip.begin(), skip.end(), child) == skip.end()) pending.push_back(child);
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

}  // namespace testing_support
