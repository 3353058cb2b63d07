#include "upgrade/move_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "pkgfile/regular_file.h"

namespace {

constexpr std::size_t chunkSize = 16 * 1024;

// Writes all of count bytes, retrying after interruptions and short writes.
bool writeAll(int fd, const char* bytes, std::size_t count) {
  while (count != 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

bool copyAll(int from, int to) {
  char chunk[chunkSize];
  for (;;) {
    const ssize_t got = ::read(from, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!writeAll(to, chunk, static_cast<std::size_t>(got))) return false;
  }
}

}  // namespace

bool moveFile(const char* source, const char* destination) {
  const int from = openRegularFile(source);
  if (from < 0) return false;
  const int to = ::open(destination, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (to < 0) {
    ::close(from);
    return false;
  }
  bool copied = copyAll(from, to);
  copied = ::fsync(to) == 0 && copied;
  copied = ::close(to) == 0 && copied;
  ::close(from);
  if (!copied) {
    ::unlink(destination);
    return false;
  }
  ::unlink(source);
  return true;
}

bool moveOpenFile(int& descriptor, const char* source, const char* destination) {
  if (::lseek(descriptor, 0, SEEK_SET) != 0) return false;
  const int to = ::open(destination, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (to < 0) return false;
  const bool copied = copyAll(descriptor, to) && ::fsync(to) == 0;
  if (!copied) {
    ::close(to);
    ::unlink(destination);
    return false;
  }
  ::unlink(source);
  ::close(descriptor);
  descriptor = to;
  return true;
}
