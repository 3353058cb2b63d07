#include "tpk/tree_scanner.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "tpk/file_io.h"

namespace tpk {

std::uint32_t encodeDeviceNumber(unsigned major, unsigned minor) {
  return (minor & 0xFFu) | ((major & 0xFFFu) << 8) | ((minor & ~0xFFu) << 12);
}

namespace {

class Scanner {
 public:
  Scanner(const TreeOptions& options, pkgwriter::FileTreeBuilder& tree)
      : options_(options), tree_(tree) {}

  bool scanDirectory(const std::string& hostPath, const std::string& entryPrefix,
                     std::string& error) {
    DIR* dir = ::opendir(hostPath.c_str());
    if (dir == nullptr) {
      error = hostPath + ": " + std::strerror(errno);
      return false;
    }
    std::vector<std::string> names;
    while (const dirent* d = ::readdir(dir)) {
      const std::string name = d->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      if (!addEntry(hostPath + "/" + name, entryPrefix + name, error)) return false;
    }
    return true;
  }

  std::set<std::string> unusedVariants() const {
    std::set<std::string> unused;
    for (const auto& v : options_.variants)
      if (!usedVariants_.count(v.first)) unused.insert(v.first);
    return unused;
  }

 private:
  bool addEntry(const std::string& hostPath, const std::string& name, std::string& error) {
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) != 0) {
      error = hostPath + ": " + std::strerror(errno);
      return false;
    }
    if (name.size() > 0xFFFF) {
      error = hostPath + ": path too long for a package entry";
      return false;
    }
    pkgwriter::EntryAttributes attributes;
    const std::uint64_t uid = options_.uid ? *options_.uid : st.st_uid;
    const std::uint64_t gid = options_.gid ? *options_.gid : st.st_gid;
    if (uid > 0xFFFF || gid > 0xFFFF) {
      error = hostPath + ": owner " + std::to_string(uid) + ":" + std::to_string(gid) +
              " does not fit in 16 bits (use --owner)";
      return false;
    }
    attributes.uid = std::uint16_t(uid);
    attributes.gid = std::uint16_t(gid);
    if (options_.mtime) {
      attributes.time = *options_.mtime;
    } else if (st.st_mtime < 0 || std::uint64_t(st.st_mtime) > 0xFFFFFFFFu) {
      error = hostPath + ": modification time out of range (use --mtime)";
      return false;
    } else {
      attributes.time = std::uint32_t(st.st_mtime);
    }
    const auto variant = options_.variants.find(name);
    if (variant != options_.variants.end()) {
      attributes.variant = variant->second;
      usedVariants_.insert(name);
    }
    const std::uint16_t permissions = std::uint16_t(st.st_mode & 07777);
    if (S_ISREG(st.st_mode)) {
      std::string contents;
      if (!readWholeFile(hostPath, contents, error)) return false;
      tree_.addFile(name, contents, permissions, attributes);
    } else if (S_ISDIR(st.st_mode)) {
      tree_.addDirectory(name, permissions, attributes);
      return scanDirectory(hostPath, name + "/", error);
    } else if (S_ISLNK(st.st_mode)) {
      std::string target(std::size_t(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
      const ssize_t n = ::readlink(hostPath.c_str(), target.data(), target.size());
      if (n < 0 || std::size_t(n) >= target.size()) {
        error = hostPath + ": cannot read the link";
        return false;
      }
      target.resize(std::size_t(n));
      attributes.time = 0;
      tree_.addSymlink(name, target, attributes);
    } else if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
      const std::uint32_t device = encodeDeviceNumber(major(st.st_rdev), minor(st.st_rdev));
      if (S_ISCHR(st.st_mode))
        tree_.addCharDevice(name, device, permissions, attributes);
      else
        tree_.addBlockDevice(name, device, permissions, attributes);
    } else if (S_ISFIFO(st.st_mode)) {
      tree_.addFifo(name, permissions, attributes);
    } else {
      error = hostPath + ": sockets and other special files cannot be packaged";
      return false;
    }
    return true;
  }

  const TreeOptions& options_;
  pkgwriter::FileTreeBuilder& tree_;
  std::set<std::string> usedVariants_;
};

}  // namespace

bool scanTree(const std::string& directory, const TreeOptions& options,
              pkgwriter::FileTreeBuilder& tree, std::string& error) {
  struct stat st {};
  if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = directory + ": not a directory";
    return false;
  }
  Scanner scanner(options, tree);
  if (!scanner.scanDirectory(directory, "", error)) return false;
  const std::set<std::string> unused = scanner.unusedVariants();
  if (!unused.empty()) {
    error = "--variant names no entry of the tree: " + *unused.begin();
    return false;
  }
  return true;
}

}  // namespace tpk
