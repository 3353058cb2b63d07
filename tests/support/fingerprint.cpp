#include "support/fingerprint.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "support/scratch_dir.h"

namespace testing_support {

namespace {

std::string lineOf(const std::string& path, const std::string& shown) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return shown + " missing\n";
  std::string line = shown + ' ' + std::to_string(info.st_mode) + ' ' +
                     std::to_string(info.st_size) + ' ' + std::to_string(info.st_uid) + ':' +
                     std::to_string(info.st_gid) + " at " + std::to_string(info.st_mtim.tv_sec) +
                     '.' + std::to_string(info.st_mtim.tv_nsec);
  if (S_ISLNK(info.st_mode)) line += " -> " + std::filesystem::read_symlink(path).string();
  if (S_ISREG(info.st_mode)) {
    std::uint64_t hash = 14695981039346656037u;
    for (const unsigned char c : readFile(path)) hash = (hash ^ c) * 1099511628211u;
    line += " hash " + std::to_string(hash);
  }
  return line + '\n';
}

}  // namespace

std::string fingerprint(const std::string& dir, const std::string& skip) {
  std::map<std::string, std::string> lines{{".", lineOf(dir, ".")}};
  const std::filesystem::path skipped = std::filesystem::path(dir) / skip;
  namespace fs = std::filesystem;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::end(it); ++it) {
    if (!skip.empty() && it->path() == skipped) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string relative = it->path().string().substr(dir.size());
    lines[relative] = lineOf(it->path().string(), relative);
  }
  std::string text;
  for (const auto& [path, line] : lines) text += line;
  return text;
}

}  // namespace testing_support
