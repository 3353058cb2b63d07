#include "pdb/package_dir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "files/confined_dir.h"
#include "files/file_platform.h"

namespace {

constexpr int dirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW;

}  // namespace

std::string packageDir(const Package& package) { return "/flash/var/pdb/" + package.name + "/"; }

FileHandle openDatabaseDir(bool makeMissing) {
  ConfinedDir flash(flashDir);
  const Confinement where = flash.resolve("var/pdb", makeMissing);
  if (where == Confinement::Outside) errno = EXDEV;
  if (where != Confinement::Inside) return FileHandle();
  return FileHandle(::fcntl(flash.place().fd, F_DUPFD_CLOEXEC, 0));
}

FileHandle openPackageDir(int database, const std::string& name, bool create) {
  if (!isPlainName(name)) {
    errno = EINVAL;
    return FileHandle();
  }
  FilePlatform& files = filePlatform();
  if (create && files.makeDirAt(database, name.c_str(), 0770) != 0) {
    // Why the entry could not be made (a full disk) is what the caller hears.
    if (errno != EEXIST) return FileHandle();
    struct stat info;
    if (::fstatat(database, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISDIR(info.st_mode) && files.removeAt(database, name.c_str(), 0) == 0 &&
        files.makeDirAt(database, name.c_str(), 0770) != 0)
      return FileHandle();
  }
  return FileHandle(files.openAt(database, name.c_str(), dirFlags, 0));
}

bool isPlainName(const std::string& name) {
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool climbsUp(const std::string& path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end - start == 2 && path[start] == '.' && path[start + 1] == '.') return true;
    start = end + 1;
  }
  return false;
}
