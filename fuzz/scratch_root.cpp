#include "scratch_root.h"

#include "pdb/package_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

bool writeIdMap(const char* file, const std::string& line) {
  const int fd = ::open(file, O_WRONLY);
  if (fd < 0) return false;
  const bool ok = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
  ::close(fd);
  return ok;
}

std::vector<std::string> listDir(int fd) {
  std::vector<std::string> names;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return names;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

void enterScratchRoot() {
  static bool entered = false;
  if (entered) return;
  if (::unshare(CLONE_NEWNS) != 0) {
    const std::string uid = std::to_string(::getuid());
    const std::string gid = std::to_string(::getgid());
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
        !writeIdMap("/proc/self/uid_map", "0 " + uid + " 1") ||
        !writeIdMap("/proc/self/setgroups", "deny") ||
        !writeIdMap("/proc/self/gid_map", "0 " + gid + " 1")) {
      std::perror("cannot enter a private namespace");
      std::exit(77);
    }
  }
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("scratch", "/tmp", "tmpfs", 0, "size=64m") != 0 || ::mkdir("/tmp/root", 0755) != 0) {
    std::perror("cannot mount a scratch file system");
    std::exit(77);
  }
  if (::mkdir("/tmp/root/proc", 0555) != 0 ||
      ::mount("/proc", "/tmp/root/proc", nullptr, MS_BIND | MS_REC, nullptr) != 0) {
    std::perror("cannot bind /proc");  // the leak checker will fail
  }
  if (::chroot("/tmp/root") != 0) {
    std::perror("cannot change root to the scratch directory");
    std::exit(77);
  }
  entered = true;
}

bool removeTree(int parent, const char* name) {
  if (::unlinkat(parent, name, 0) == 0) return true;
  struct stat above, below;
  if (::fstat(parent, &above) != 0 || ::fstatat(parent, name, &below, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  if (!S_ISDIR(below.st_mode) || below.st_dev != above.st_dev) return false;
  const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd < 0) return false;
  ::fchmod(fd, 0755);  // a tree may have left it without search permission
  const int again = ::dup(fd);
  bool all = again >= 0;
  for (const std::string& child : listDir(fd)) all = removeTree(again, child.c_str()) && all;
  if (again >= 0) ::close(again);
  return all && ::unlinkat(parent, name, AT_REMOVEDIR) == 0;
}

void makeDirs(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0755);
  }
  ::mkdir(path.c_str(), 0755);
}

bool writeFile(const std::string& path, const void* bytes, std::size_t length) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
  if (fd < 0) return false;
  const bool ok = ::write(fd, bytes, length) == ssize_t(length);
  ::close(fd);
  return ok;
}

std::string readFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW);
  if (fd < 0) return "\n<missing>";
  std::string bytes;
  char chunk[4096];
  ssize_t got;
  while ((got = ::read(fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, std::size_t(got));
  ::close(fd);
  return bytes;
}

void unpackEntries(const std::uint8_t* data, std::size_t size, unsigned kinds,
                   const OtherEntry& other) {
  static const char* const metaFiles[] = {"version", "files",    "deps",    "provides", "conflicts",
                                          "bundle",  "disabled", "enabled", "image"};
  std::size_t at = 0;
  while (size - at >= 2) {
    const unsigned kind = data[at] % kinds;
    const std::size_t nameLength = data[at + 1] & 31;
    at += 2;
    if (size - at < nameLength) return;
    const std::string name(reinterpret_cast<const char*>(data + at), nameLength);
    at += nameLength;
    std::size_t length = 0;
    if (size - at >= 2) length = data[at] | std::size_t(data[at + 1]) << 8;
    at += size - at >= 2 ? 2 : size - at;
    if (length > size - at) length = size - at;
    const std::string content(reinterpret_cast<const char*>(data + at), length);
    at += length;
    if (!isPlainName(name)) continue;
    const std::string entry = "/flash/var/pdb/" + name;
    if (kind < 9) {
      makeDirs(entry);
      writeFile(entry + "/" + metaFiles[kind], content.data(), content.size());
    } else if (kind == 9) {
      makeDirs("/ram/pdb/" + name);
      writeFile("/ram/pdb/" + name + "/schedule", content.data(), content.size());
    } else if (kind == 10) {
      writeFile("/rw/pckg/.images/" + name, content.data(), content.size());
    } else {
      other(kind, name, content);
    }
  }
}

std::string describeTree(const std::string& path) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0) return path + " missing\n";
  std::string text = path + " " + std::to_string(status.st_mode) + " " +
                     std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid) + " " +
                     std::to_string(status.st_size) + "\n";
  if (S_ISLNK(status.st_mode)) {
    char target[4096];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length > 0) text += std::string(target, std::size_t(length)) + "\n";
  } else if (S_ISREG(status.st_mode)) {
    text += readFile(path) + "\n";
  } else if (S_ISDIR(status.st_mode)) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd >= 0)
      for (const std::string& child : listDir(fd)) text += describeTree(path + "/" + child);
  }
  return text;
}
