#include "files/write_all.h"

#include <cerrno>

#include "files/file_platform.h"

WriteResult writeAll(int fd, const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written = filePlatform().write(fd, bytes, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return WriteResult::NotWritten;
    }
    if (written == 0) {
      errno = EIO;
      return WriteResult::NotWritten;
    }
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
  return WriteResult::Written;
}
