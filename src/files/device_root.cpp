#include "files/device_root.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(SYS_openat2)
#include <linux/openat2.h>
#endif

#include <cerrno>
#include <cstdint>

namespace {

// The scoped root's descriptor; AT_FDCWD: the process's own root. A scoped root
// that could not be opened leaves -1, on which every absolute path fails.
int rootDir = AT_FDCWD;

}  // namespace

DevicePlace devicePlace(const char* path) {
  if (rootDir == AT_FDCWD || path[0] != '/') return {AT_FDCWD, path};
  while (*path == '/') ++path;
  return {rootDir, *path == '\0' ? "." : path};
}

int openDevicePath(const char* path, int flags) {
  const DevicePlace at = devicePlace(path);
#if defined(SYS_openat2)
  if (at.dir != AT_FDCWD) {
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = RESOLVE_IN_ROOT;
    const long fd = ::syscall(SYS_openat2, at.dir, at.name, &how, sizeof how);
    // A kernel (or a filter) without the call leaves links unconfined.
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
  }
#endif
  return ::openat(at.dir, at.name, flags);
}

bool statDevicePath(const char* path, struct stat& status) {
  const DevicePlace at = devicePlace(path);
  if (at.dir == AT_FDCWD) return ::fstatat(at.dir, at.name, &status, 0) == 0;
  const int look = openDevicePath(path, O_PATH | O_CLOEXEC);
  const bool looked = look >= 0 && ::fstat(look, &status) == 0;
  if (look >= 0) {
    const int error = errno;
    ::close(look);
    errno = error;
  }
  return looked;
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
