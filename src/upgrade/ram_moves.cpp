#include "upgrade/ram_moves.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/own_file.h"
#include "pkgfile/regular_file.h"
#include "upgrade/move_file.h"

namespace {

constexpr char notePath[] = "/flash/var/pdb/.ram-moves";
constexpr char ramDir[] = "/ram/";
constexpr const char* stagingDirs[] = {"/flash/rw/pckg/", "/flash/var/pckg/"};
// Far more than the lines of every file the staging directories can hold.
constexpr std::size_t maxNoteBytes = 64 * 1024;
constexpr std::size_t maxNameLength = 255;

bool writeNote(const RamMoves& moves) {
  std::string lines;
  for (const auto& [ramPath, foundPath] : moves.noted) lines += ramPath + ' ' + foundPath + '\n';
  return writeOwnFile(notePath, lines, 0644) == OwnPlacement::Placed;
}

// Up to maxNoteBytes of the note at status, when it is a regular file.
std::string readNote(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) return std::string();
  const int fd = openRegularFile(notePath);
  if (fd < 0) return std::string();
  std::string bytes(maxNoteBytes, '\0');
  std::size_t got = 0;
  for (ssize_t n; got < bytes.size(); got += static_cast<std::size_t>(n)) {
    n = ::read(fd, &bytes[got], bytes.size() - got);
    if (n < 0 && errno == EINTR)
      n = 0;
    else if (n <= 0)
      break;
  }
  ::close(fd);
  bytes.resize(got);
  return bytes;
}

bool endsWith(const std::string& text, const char* suffix) {
  const std::size_t length = std::strlen(suffix);
  return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// A name the staging scan takes: no directory part, not dot-named, a package file.
bool isStagedName(const std::string& name) {
  return !name.empty() && name.size() <= maxNameLength && name[0] != '.' &&
         name.find_first_of("/ \t\n") == std::string::npos &&
         (endsWith(name, ".tpk") || endsWith(name, ".lpk"));
}

// Whether ramPath and foundPath are what moveToRam makes of one staged file.
bool isNotedMove(const std::string& ramPath, const std::string& foundPath) {
  if (!ramPath.starts_with(ramDir)) return false;
  const std::string name = ramPath.substr(std::strlen(ramDir));
  if (!isStagedName(name)) return false;
  for (const char* dir : stagingDirs)
    if (foundPath == dir + name) return true;
  return false;
}

void moveBack(Console& console, const std::string& ramPath, const std::string& foundPath) {
  struct stat status;
  if (!statOwnFile(ramPath, status) || !S_ISREG(status.st_mode)) return;
  if (statOwnFile(foundPath, status) || errno != ENOENT) {
    // The file stayed where it was found: the copy is a leftover.
    removeOwnFile(ramPath);
    return;
  }
  if (moveFile(ramPath.c_str(), foundPath.c_str()) == FileMove::NotMoved)
    console.warning("package file %s could not be moved back to %s", ramPath.c_str(),
                    foundPath.c_str());
}

}  // namespace

RamNote noteRamMove(RamMoves& moves, const std::string& ramPath, const std::string& foundPath) {
  moves.noted.emplace_back(ramPath, foundPath);
  return writeNote(moves) ? RamNote::Written : RamNote::NotWritten;
}

void forgetRamMove(RamMoves& moves, const std::string& ramPath) {
  std::erase_if(moves.noted, [&ramPath](const auto& move) { return move.first == ramPath; });
  if (moves.noted.empty())
    removeOwnFile(notePath);
  else
    writeNote(moves);
}

void restoreRamMoves(Console& console) {
  struct stat status;
  if (!statOwnFile(notePath, status)) return;
  const std::string notes = readNote(status);
  for (std::size_t start = 0, end; (end = notes.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = notes.substr(start, end - start);
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) continue;
    const std::string ramPath = line.substr(0, space), foundPath = line.substr(space + 1);
    if (isNotedMove(ramPath, foundPath)) moveBack(console, ramPath, foundPath);
  }
  removeOwnFile(notePath);
}

void dropRamMoves(RamMoves& moves) {
  if (moves.noted.empty()) return;
  moves.noted.clear();
  removeOwnFile(notePath);
}
