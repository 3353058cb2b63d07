#include "upgrade/postlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "pkgfile/regular_file.h"

namespace {

constexpr char logPath[] = "/flash/postlog";

// Set by reservePostlog for the rest of the process.
bool reserved = false;

}  // namespace

void reservePostlog(Console& console) {
  const int fd = openRegularFile(logPath);
  std::FILE* log = fd < 0 ? nullptr : ::fdopen(fd, "r");
  if (log == nullptr && fd >= 0) ::close(fd);
  if (log != nullptr) {
    std::string line;
    for (int c; (c = std::fgetc(log)) != EOF;) {
      if (c != '\n') {
        line += static_cast<char>(c);
        continue;
      }
      console.messages.push_back(line);
      line.clear();
    }
    std::fclose(log);
  }
  if (std::FILE* space = std::fopen(logPath, "w")) {
    static const char zeros[4096] = {};
    std::fwrite(zeros, 1, sizeof zeros, space);
    std::fclose(space);
  }
  reserved = true;
}

void writePostlog(Console& console) {
  if (!reserved && console.messages.empty()) return;
  std::FILE* log = std::fopen(logPath, reserved ? "w" : "a");
  ::sync();
  if (log == nullptr) return;
  for (const std::string& message : console.messages) {
    std::fwrite(message.data(), 1, message.size(), log);
    std::fputc('\n', log);
  }
  std::fflush(log);
  ::fsync(fileno(log));
  std::fclose(log);
}
