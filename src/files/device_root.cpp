#include "files/device_root.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The scoped root's descriptor; AT_FDCWD: the process's own root. A scoped root
// that could not be opened leaves -1, on which every absolute path fails.
int rootDir = AT_FDCWD;

// Links followed in one lookup at most, as the system allows.
constexpr int maxLinks = 40;

// Takes the first component off pending; false when none is left.
bool takeComponent(std::string& pending, std::string& component) {
  const std::size_t start = pending.find_first_not_of('/');
  if (start == std::string::npos) return false;
  const std::size_t end = pending.find('/', start);
  component = pending.substr(start, end == std::string::npos ? end : end - start);
  pending.erase(0, end == std::string::npos ? pending.size() : end);
  return true;
}

// The path relative to root that name (relative to root) leads to, each link on
// the way (the last one too when followLast) followed as if root were the
// process's own: an absolute target starts again at root, ".." stops there.
// The path found names no link: "." for root itself, and a missing last
// component is kept. False (errno set) when a component cannot be looked up
// or the links go round.
bool resolveBelowRoot(int root, const char* name, bool followLast, std::string& resolved) {
  std::string pending = name, found, component;
  int links = 0;
  while (takeComponent(pending, component)) {
    if (component == ".") continue;
    if (component == "..") {
      const std::size_t slash = found.rfind('/');
      found.erase(slash == std::string::npos ? 0 : slash);
      continue;
    }
    const std::string next = found.empty() ? component : found + "/" + component;
    const bool last = pending.find_first_not_of('/') == std::string::npos;
    const bool follow = !last || followLast;
    char target[PATH_MAX];
    const ssize_t length = follow ? ::readlinkat(root, next.c_str(), target, sizeof target) : -1;
    if (length < 0) {
      // No link there (last, perhaps nothing yet: an open may create it).
      if (follow && errno != EINVAL && !(last && errno == ENOENT)) return false;
      found = next;
      continue;
    }
    if (length == 0 || length == sizeof target || ++links > maxLinks) {
      errno = length == 0 ? ENOENT : length == sizeof target ? ENAMETOOLONG : ELOOP;
      return false;
    }
    if (target[0] == '/') found.clear();
    pending = std::string(target, static_cast<std::size_t>(length)) + pending;
  }
  resolved = found.empty() ? "." : found;
  return true;
}

}  // namespace

DevicePlace devicePlace(const char* path) {
  if (rootDir == AT_FDCWD || path[0] != '/') return {AT_FDCWD, path};
  while (*path == '/') ++path;
  return {rootDir, *path == '\0' ? "." : path};
}

int openDevicePath(const char* path, int flags) {
  const DevicePlace at = devicePlace(path);
  if (at.dir == AT_FDCWD) return ::openat(at.dir, at.name, flags);
  std::string resolved;
  if (!resolveBelowRoot(at.dir, at.name, (flags & O_NOFOLLOW) == 0, resolved)) return -1;
  // What was found is no link: one put there since is not followed.
  return ::openat(at.dir, resolved.c_str(), flags | O_NOFOLLOW);
}

bool statDevicePath(const char* path, struct stat& status) {
  const DevicePlace at = devicePlace(path);
  if (at.dir == AT_FDCWD) return ::fstatat(at.dir, at.name, &status, 0) == 0;
  std::string resolved;
  return resolveBelowRoot(at.dir, at.name, true, resolved) &&
         ::fstatat(at.dir, resolved.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

DIR* openDeviceDir(const char* path) {
  const int fd = openDevicePath(path, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
  if (dir == nullptr && fd >= 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return dir;
}

ScopedDeviceRoot::ScopedDeviceRoot(const std::string& dir)
    : root_(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)), previous_(rootDir) {
  rootDir = root_.get();
}

ScopedDeviceRoot::~ScopedDeviceRoot() { rootDir = previous_; }
