#include "install/package_removal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "files/confined_dir.h"
#include "files/file_platform.h"
#include "install/journal.h"
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

// The path as the file system reads it: its components but empty and "."
// ones, each after a '/' ("bin//./tool" and "/bin/tool" are one file).
std::string plainPath(std::string_view path) {
  std::string plain;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(start, end - start);
    if (!name.empty() && name != ".") (plain += '/') += name;
    start = end + 1;
  }
  return plain;
}

// The paths that the installed records other than package list.
std::set<std::string> pathsOfOthers(const PackageDb& packages, const InstalledPackage& package) {
  std::set<std::string> paths;
  for (const auto& record : packages)
    if (record.get() != &package)
      for (const std::string& path : record->files) paths.insert(plainPath(path));
  return paths;
}

}  // namespace

PathRemoval removePaths(Console& console, const std::vector<std::string>& paths,
                        const std::string& owner) {
  ConfinedDir flash(flashDir);
  bool removed = true;
  for (const std::string& path : paths) {
    const std::size_t slash = path.rfind('/');
    const std::string leaf = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const Confinement where =
        climbsUp(path) ? Confinement::Outside
                       : flash.resolve(std::string_view(path).substr(0, slash + 1), false);
    if (where == Confinement::Failed)
      removed &= errno == ENOENT || errno == ENOTDIR || errno == ELOOP || errno == EACCES;
    if (where == Confinement::Outside) {
      if (!owner.empty())
        console.warning("file %s of %s not removed: outside /flash", path.c_str(), owner.c_str());
    } else if (where == Confinement::Inside && !leaf.empty() && leaf != ".") {
      removed &= filePlatform().removeAt(flash.place().fd, leaf.c_str(), 0) == 0 ||
                 errno == ENOENT || errno == EISDIR || errno == EPERM;
    }
  }
  return removed ? PathRemoval::Removed : PathRemoval::NotRemoved;
}

std::vector<std::string> pathsLeftBehind(const PackageDb& others, const InstalledPackage& old,
                                         const InstalledPackage& replacement) {
  std::set<std::string> kept = pathsOfOthers(others, old);
  for (const std::string& path : replacement.files) kept.insert(plainPath(path));
  std::vector<std::string> left;
  for (const std::string& path : old.files)
    if (kept.count(plainPath(path)) == 0) left.push_back(path);
  return left;
}

void removeFiles(Console& console, InstalledPackage& package) {
  if (package.files.empty()) return;  // a bundle, or nothing made yet: no other list to read
  const InstalledPackage none;
  // Failures are ignored: the files list goes all the same.
  (void)removePaths(console, pathsLeftBehind(console.packages, package, none),
                    nameVersionText(package));
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
  package.action = ScheduledAction::None;
  // A record without an entry of its own has nothing to journal.
  if (isPlainName(package.name)) {
    PackageJournal journal(PackageJournal::Kind::Removal);
    CommitRecord record;
    record.name = package.name;
    record.version = package.version;
    record.entry = false;
    record.dropEntry = true;
    record.oldBootImage = (package.flags & bootImage) != 0;
    if (!package.files.empty()) {
      const InstalledPackage none;
      record.removals = pathsLeftBehind(console.packages, package, none);
    }
    if (journal.begin(console) == JournalStep::Done &&
        journal.commit(std::move(record)) == JournalStep::Done) {
      // A removal left to the next run keeps its .drop: nothing more to do here.
      (void)journal.apply(console, nameVersionText(package));
      package.files.clear();
      return;
    }
    InstalledPackage nothing;
    journal.rollback(console, nothing);
  }
  removeFiles(console, package);
  removePackageDir(package);
}
