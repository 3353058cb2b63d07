#include "upgrade/postlog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "files/file_platform.h"
#include "files/own_file.h"
#include "files/write_all.h"
#include "pkgfile/regular_file.h"

namespace {

constexpr char logPath[] = "/flash/postlog";
// The log's space, held while the run works so that the new log finds room.
constexpr char reservePath[] = "/flash/.postlog.reserve";
// The temporary the new log is written under before it takes the log's name.
constexpr char temporaryPath[] = "/flash/.postlog.new";

// Reads up to count bytes at offset; fewer at the end of the file or on an error.
std::string readAt(int fd, off_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, &bytes[got], count - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

// The newest whole lines of the log, each with its "\n", taking at most
// keptLogBytes: the window starts one byte early so that a line it cuts can
// be told from one that begins right at it.
std::string logTail(int fd) {
  struct stat status;
  if (::fstat(fd, &status) != 0) return std::string();
  if (status.st_size <= static_cast<off_t>(keptLogBytes)) return readAt(fd, 0, keptLogBytes);
  std::string tail =
      readAt(fd, status.st_size - static_cast<off_t>(keptLogBytes) - 1, keptLogBytes + 1);
  const std::size_t cut = tail.find('\n');
  return cut == std::string::npos ? std::string() : tail.substr(cut + 1);
}

}  // namespace

PostlogSpace reservePostlog(Console& console) {
  const int fd = openRegularFile(logPath);
  if (fd >= 0) {
    const std::string tail = logTail(fd);
    ::close(fd);
    for (std::size_t start = 0, end; (end = tail.find('\n', start)) != std::string::npos;
         start = end + 1)
      console.messages.push_back(tail.substr(start, end - start));
  }
  const int space = openOwnFile(reservePath, OwnOpen::Truncate, 0666);
  if (space >= 0) {
    static const char zeros[4096] = {};
    (void)writeAll(space, zeros, sizeof zeros);
    ::close(space);
  }
  return PostlogSpace::Reserved;
}

void writePostlog(Console& console, PostlogSpace space) {
  const bool reserved = space == PostlogSpace::Reserved;
  // What a killed run left of its reservation or its new log goes too.
  struct stat status;
  if (statOwnFile(reservePath, status)) removeOwnFile(reservePath);
  if (!reserved && statOwnFile(temporaryPath, status)) removeOwnFile(temporaryPath);
  if (!reserved && console.messages.empty()) return;
  std::string text;
  for (const std::string& message : console.messages) text += message + '\n';
  if (reserved) {
    // The old log stays whole until the new one is renamed over it.
    filePlatform().syncAll();
    (void)writeOwnFile(logPath, text, 0666);
    return;
  }
  const int log = openOwnFile(logPath, OwnOpen::Append, 0666);
  filePlatform().syncAll();
  if (log < 0) return;
  (void)writeAll(log, text.data(), text.size());
  filePlatform().syncFile(log);
  ::close(log);
}
