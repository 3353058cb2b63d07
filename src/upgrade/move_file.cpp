#include "upgrade/move_file.h"

#include <unistd.h>

#include <cerrno>

#include "files/file_platform.h"
#include "files/own_file.h"
#include "files/write_all.h"
#include "pkgfile/regular_file.h"

namespace {

constexpr std::size_t chunkSize = 16 * 1024;

bool copyAll(int from, int to) {
  char chunk[chunkSize];
  for (;;) {
    const ssize_t got = ::read(from, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (writeAll(to, chunk, static_cast<std::size_t>(got)) != WriteResult::Written) return false;
  }
}

}  // namespace

FileMove moveFile(const char* source, const char* destination) {
  const int from = openRegularFile(source);
  if (from < 0) return FileMove::NotMoved;
  const int to = openOwnFile(destination, OwnOpen::Truncate, 0644);
  if (to < 0) {
    ::close(from);
    return FileMove::NotMoved;
  }
  bool copied = copyAll(from, to);
  copied = filePlatform().syncFile(to) == 0 && copied;
  copied = ::close(to) == 0 && copied;
  ::close(from);
  if (!copied) {
    removeOwnFile(destination);
    return FileMove::NotMoved;
  }
  removeOwnFile(source);
  return FileMove::Moved;
}

FileMove moveOpenFile(int& descriptor, const char* source, const char* destination) {
  if (::lseek(descriptor, 0, SEEK_SET) != 0) return FileMove::NotMoved;
  const int to = openOwnFile(destination, OwnOpen::Truncate, 0644);
  if (to < 0) return FileMove::NotMoved;
  const bool copied = copyAll(descriptor, to) && filePlatform().syncFile(to) == 0;
  if (!copied) {
    ::close(to);
    removeOwnFile(destination);
    return FileMove::NotMoved;
  }
  // A file that cannot leave its place stays there, the only copy.
  if (removeOwnFile(source) == OwnRemoval::Failed) {
    ::close(to);
    removeOwnFile(destination);
    return FileMove::NotMoved;
  }
  ::close(descriptor);
  descriptor = to;
  return FileMove::Moved;
}
