#include "files/write_all.h"

#include <cerrno>

#include "files/file_platform.h"

bool writeAll(int fd, const char* bytes, std::size_t count) {
  while (count != 0) {
    const ssize_t written = filePlatform().write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return false;
    if (written == 0) {
      errno = EIO;
      return false;
    }
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}
