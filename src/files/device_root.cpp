#include "files/device_root.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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

DIR* openDeviceDir(const char* path) {
  const DevicePlace at = devicePlace(path);
  const int fd = ::openat(at.dir, at.name, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
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
