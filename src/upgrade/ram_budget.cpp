#include "upgrade/ram_budget.h"

#include <unistd.h>

#include <cstdio>

#include "pkgfile/regular_file.h"
#include "upgrade/move_file.h"

namespace {

// Reads one line of at most 255 characters and parses it with format.
bool readField(std::FILE* file, const char* format, unsigned& value) {
  char line[256];
  return std::fgets(line, sizeof line, file) != nullptr && std::sscanf(line, format, &value) == 1;
}

}  // namespace

std::uint32_t ramBudget(const char* meminfoPath) {
  std::uint32_t available = 0xFFFFFFFF;  // -1: unknown
  // Never blocks on a named pipe standing in its place.
  const int fd = openRegularFile(meminfoPath);
  std::FILE* file = fd < 0 ? nullptr : ::fdopen(fd, "r");
  if (file == nullptr && fd >= 0) ::close(fd);
  if (file != nullptr) {
    unsigned total = 0, free = 0, buffers = 0, cached = 0;
    if (readField(file, "MemTotal: %u", total) && readField(file, "MemFree: %u", free) &&
        readField(file, "Buffers: %u", buffers) && readField(file, "Cached: %u", cached))
      available = free + buffers + cached;
    std::fclose(file);
  }
  const std::int32_t reserve = static_cast<std::int32_t>(available - 8192u);
  if (reserve <= 0) return 0;
  if (reserve > 131071) return 131072u * 1024u;
  return static_cast<std::uint32_t>(reserve) * 1024u;
}

Candidates moveToRam(Candidates& candidates, RunFlags runFlags, std::uint32_t budget,
                     RamMoves& moves) {
  Candidates installList;
  for (auto& file : candidates) {
    if (!file->isImage && !(runFlags & reinstall) && file->length < budget) {
      const std::string::size_type slash = file->path.rfind('/');
      const std::string destination =
          "/ram/" + file->path.substr(slash == std::string::npos ? 0 : slash + 1);
      // A full flash cannot take the note but needs the room all the more.
      (void)noteRamMove(moves, destination, file->path);
      if (moveOpenFile(file->descriptor, file->path.c_str(), destination.c_str()) ==
          FileMove::Moved) {
        file->foundPath = file->path;
        file->path = destination;
        budget -= file->length;
      }
    }
    installList.push_back(std::move(file));
  }
  candidates.clear();
  return installList;
}
