#include "files/own_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/device_root.h"
#include "files/file_platform.h"
#include "files/write_all.h"

namespace {

// Directories are entered for resolution only; O_NONBLOCK keeps a named pipe
// standing where a directory was expected from blocking the open.
constexpr int dirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK;
constexpr int fileFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
// Directories below a name that is being replaced are removed this deep at most.
constexpr int maxTreeDepth = 32;

// The directory holding the last name of a path, held open.
class ParentDir {
 public:
  explicit ParentDir(const std::string& path) { fd_ = enter(path); }
  ~ParentDir() {
    if (fd_ >= 0) ::close(fd_);
  }
  ParentDir(const ParentDir&) = delete;
  ParentDir& operator=(const ParentDir&) = delete;

  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const char* name() const { return name_.c_str(); }

 private:
  // Opens the top directory as it is, each one below it without following.
  int enter(const std::string& path) {
    if (path.empty() || path[0] != '/') return fail();
    std::string component;
    int dir = -1;
    for (std::size_t at = 1; at <= path.size(); ++at) {
      if (at < path.size() && path[at] != '/') {
        component += path[at];
        continue;
      }
      if (component.empty() && at < path.size()) continue;  // "//" names the same directory
      if (component.empty() || component == "." || component == "..") break;
      if (at == path.size()) {
        name_ = component;
        return dir >= 0 ? dir : fail();
      }
      const int next =
          dir < 0 ? openTop(component) : filePlatform().openAt(dir, component.c_str(), dirFlags, 0);
      if (dir >= 0) ::close(dir);
      if (next < 0) return -1;
      dir = next;
      component.clear();
    }
    if (dir >= 0) ::close(dir);
    return fail();
  }
  // The top directory below the device root, followed as the device made it.
  static int openTop(const std::string& component) {
    const std::string path = "/" + component;
    const DevicePlace top = devicePlace(path.c_str());
    return filePlatform().openAt(top.dir, top.name, dirFlags & ~O_NOFOLLOW, 0);
  }
  static int fail() {
    errno = EINVAL;
    return -1;
  }

  int fd_ = -1;
  std::string name_;
};

bool statAt(int dir, const char* name, struct stat& status) {
  return ::fstatat(dir, name, &status, AT_SYMLINK_NOFOLLOW) == 0;
}

bool removeTree(int dir, const char* name, int depth);

// Removes every entry of the directory open at fd.
bool emptyDir(int fd, int depth) {
  DIR* entries = ::fdopendir(fd);
  if (entries == nullptr) {
    ::close(fd);
    return false;
  }
  bool removed = true;
  while (const dirent* entry = ::readdir(entries)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat status;
    if (!statAt(fd, name, status)) continue;
    removed = (S_ISDIR(status.st_mode) ? removeTree(fd, name, depth + 1)
                                       : filePlatform().removeAt(fd, name, 0) == 0) &&
              removed;
  }
  ::closedir(entries);
  return removed;
}

// Removes the directory name in dir with everything below it, never following.
bool removeTree(int dir, const char* name, int depth) {
  if (depth > maxTreeDepth) {
    errno = ELOOP;
    return false;
  }
  const int fd = filePlatform().openAt(dir, name, dirFlags, 0);
  if (fd < 0) return false;
  return emptyDir(fd, depth) && filePlatform().removeAt(dir, name, AT_REMOVEDIR) == 0;
}

// Frees name in dir of whatever stands there. True when nothing stands there now.
bool clearName(int dir, const char* name) {
  struct stat status;
  if (!statAt(dir, name, status)) return errno == ENOENT;
  if (S_ISDIR(status.st_mode)) return removeTree(dir, name, 0);
  return filePlatform().removeAt(dir, name, 0) == 0 || errno == ENOENT;
}

bool isPlainFile(const struct stat& status) {
  return S_ISREG(status.st_mode) && status.st_nlink == 1;
}

// Opens the regular file of one link at name, or -1 when something else stands there.
int openExisting(int dir, const char* name, int flags) {
  struct stat status;
  if (!statAt(dir, name, status) || !isPlainFile(status)) return -1;
  const int fd = filePlatform().openAt(dir, name, fileFlags | flags, 0);
  if (fd < 0) return -1;
  if (::fstat(fd, &status) == 0 && isPlainFile(status)) return fd;
  ::close(fd);
  return -1;
}

// The descriptor blocking again; false (fd closed) when that fails.
bool makeBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) return true;
  ::close(fd);
  return false;
}

// A fresh file at name, whatever stood there removed.
int createFresh(int dir, const char* name, int flags, mode_t mode) {
  if (!clearName(dir, name)) return -1;
  return filePlatform().openAt(dir, name, fileFlags | flags | O_CREAT | O_EXCL, mode);
}

}  // namespace

int openOwnFile(const std::string& path, OwnOpen how, mode_t mode) {
  const ParentDir parent(path);
  if (!parent.isOpen()) return -1;
  const int flags = how == OwnOpen::Append ? O_APPEND : 0;
  int fd = openExisting(parent.fd(), parent.name(), flags);
  if (fd >= 0 && how == OwnOpen::Truncate && filePlatform().truncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  if (fd < 0) fd = createFresh(parent.fd(), parent.name(), flags, mode);
  return fd >= 0 && makeBlocking(fd) ? fd : -1;
}

OwnPlacement writeOwnFile(const std::string& path, const std::string& content, mode_t mode) {
  const ParentDir parent(path);
  if (!parent.isOpen()) return OwnPlacement::Failed;
  const std::string temporary = "." + std::string(parent.name()) + ".new";
  const int fd = createFresh(parent.fd(), temporary.c_str(), 0, mode);
  if (fd < 0) return OwnPlacement::Failed;
  bool written = writeAll(fd, content.data(), content.size()) == WriteResult::Written &&
                 filePlatform().syncFile(fd) == 0;
  written = ::close(fd) == 0 && written;
  struct stat status;
  if (written && statAt(parent.fd(), parent.name(), status) && S_ISDIR(status.st_mode))
    written = removeTree(parent.fd(), parent.name(), 0);
  written = written && filePlatform().renameAt(parent.fd(), temporary.c_str(), parent.fd(),
                                               parent.name()) == 0;
  if (!written) {
    const int error = errno;
    filePlatform().removeAt(parent.fd(), temporary.c_str(), 0);
    errno = error;
  }
  return written ? OwnPlacement::Placed : OwnPlacement::Failed;
}

OwnRemoval removeOwnFile(const std::string& path) {
  const ParentDir parent(path);
  if (!parent.isOpen()) return OwnRemoval::Failed;
  struct stat status;
  if (!statAt(parent.fd(), parent.name(), status))
    return errno == ENOENT ? OwnRemoval::Absent : OwnRemoval::Failed;
  if (S_ISDIR(status.st_mode)) {
    errno = EISDIR;
    return OwnRemoval::Directory;
  }
  if (filePlatform().removeAt(parent.fd(), parent.name(), 0) == 0) return OwnRemoval::Removed;
  return errno == ENOENT ? OwnRemoval::Absent : OwnRemoval::Failed;
}

OwnPlacement linkOwnFile(const std::string& from, const std::string& to) {
  const ParentDir source(from), target(to);
  if (!source.isOpen() || !target.isOpen()) return OwnPlacement::Failed;
  struct stat status;
  if (statAt(target.fd(), target.name(), status) && !S_ISREG(status.st_mode) &&
      !S_ISDIR(status.st_mode) && filePlatform().removeAt(target.fd(), target.name(), 0) != 0)
    return OwnPlacement::Failed;
  return filePlatform().linkAt(source.fd(), source.name(), target.fd(), target.name()) == 0
             ? OwnPlacement::Placed
             : OwnPlacement::Failed;
}

OwnPlacement makeOwnDir(const std::string& path, mode_t mode) {
  const ParentDir parent(path);
  if (!parent.isOpen()) return OwnPlacement::Failed;
  struct stat status;
  if (statAt(parent.fd(), parent.name(), status) && S_ISDIR(status.st_mode))
    return OwnPlacement::Placed;
  if (!clearName(parent.fd(), parent.name())) return OwnPlacement::Failed;
  return filePlatform().makeDirAt(parent.fd(), parent.name(), mode) == 0 ? OwnPlacement::Placed
                                                                         : OwnPlacement::Failed;
}

bool statOwnFile(const std::string& path, struct stat& status) {
  const ParentDir parent(path);
  return parent.isOpen() && statAt(parent.fd(), parent.name(), status);
}
