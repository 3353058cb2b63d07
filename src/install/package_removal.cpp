#include "install/package_removal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <string>

#include "files/confined_dir.h"
#include "files/file_platform.h"
#include "pdb/package_dir.h"

namespace {

// Removes the entries of the directory dir whose names do not begin with '.'.
void removeEntries(int dir) {
  const int listed = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
  DIR* entries = listed < 0 ? nullptr : ::fdopendir(listed);
  if (entries == nullptr) {
    if (listed >= 0) ::close(listed);
    return;
  }
  while (const dirent* entry = ::readdir(entries))
    if (entry->d_name[0] != '\0' && entry->d_name[0] != '.')
      filePlatform().removeAt(dir, entry->d_name, 0);
  ::closedir(entries);
}

}  // namespace

void removeFiles(Console& console, InstalledPackage& package) {
  ConfinedDir flash(flashDir);
  for (const std::string& path : package.files) {
    const std::size_t slash = path.rfind('/');
    const std::string leaf = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const Confinement where =
        climbsUp(path) ? Confinement::Outside
                       : flash.resolve(std::string_view(path).substr(0, slash + 1), false);
    if (where == Confinement::Outside) {
      console.warning("file %s of %s not removed: outside /flash", path.c_str(),
                      nameVersionText(package).c_str());
    } else if (where == Confinement::Inside && !leaf.empty() && leaf != ".") {
      filePlatform().removeAt(flash.place().fd, leaf.c_str(), 0);
    }
  }
  package.files.clear();
}

void removePackageDir(const InstalledPackage& package) {
  // A record without a plain name (a transient record has an empty one) has
  // no entry: its directory would be the database directory itself.
  if (!isPlainName(package.name)) return;
  const FileHandle database = openDatabaseDir(false);
  if (!database.valid()) return;
  const char* name = package.name.c_str();
  const FileHandle entry = openPackageDir(database.get(), package.name, false);
  if (entry.valid()) {
    removeEntries(entry.get());
    filePlatform().removeAt(database.get(), name, AT_REMOVEDIR);
  } else if (errno == ELOOP || errno == ENOTDIR) {
    filePlatform().removeAt(database.get(), name, 0);
  }
  if (!(package.flags & bootImage)) return;
  ConfinedDir flash(flashDir);
  struct stat link;
  if (flash.opened() &&
      ::fstatat(flash.place().fd, "bootimage", &link, 0) == 0 && link.st_nlink == 1)
    filePlatform().removeAt(flash.place().fd, "bootimage", 0);
}

void removePackage(Console& console, InstalledPackage& package) {
  removeFiles(console, package);
  removePackageDir(package);
  package.action = ScheduledAction::None;
}
