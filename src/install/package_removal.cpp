#include "install/package_removal.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pdb/package_dir.h"

void removeFiles(InstalledPackage& package) {
  for (const std::string& path : package.files) {
    if (climbsUp(path)) continue;
    ::unlink(("/flash/" + path).c_str());
  }
  package.files.clear();
}

void removePackageDir(const InstalledPackage& package) {
  // A record without a plain name (a transient record has an empty one) has
  // no entry: its directory would be the database directory itself.
  if (!isPlainName(package.name)) return;
  const std::string dir = packageDir(package);
  DIR* entries = ::opendir(dir.c_str());
  if (entries == nullptr) return;
  while (const dirent* entry = ::readdir(entries))
    if (entry->d_name[0] != '\0' && entry->d_name[0] != '.') ::unlink((dir + entry->d_name).c_str());
  ::closedir(entries);
  ::rmdir(dir.c_str());
  struct stat link;
  if ((package.flags & bootImage) && ::stat("/flash/bootimage", &link) == 0 && link.st_nlink == 1)
    ::unlink("/flash/bootimage");
}

void removePackage(InstalledPackage& package) {
  removeFiles(package);
  removePackageDir(package);
  package.action = ScheduledAction::None;
}
