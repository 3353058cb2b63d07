#include "install/journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string_view>

#include "files/confined_dir.h"
#include "files/file_platform.h"
#include "files/own_file.h"
#include "files/write_all.h"
#include "install/file_extraction.h"
#include "install/package_install.h"
#include "install/package_removal.h"
#include "pdb/database_writer.h"
#include "pdb/file_output.h"
#include "pdb/install_messages.h"
#include "pdb/package_dir.h"

namespace {

constexpr int dirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// The installation's folder, and the one of a removal (which may happen while
// an installation waits for its staged file to go).
constexpr char workName[] = ".work";
constexpr char dropName[] = ".drop";
constexpr char commitName[] = "commit";
constexpr char commitTemporary[] = "commit.new";
// A record larger than this is not one the installer wrote.
constexpr off_t longestRecord = off_t(64) << 20;

// Whether a failed step of an apply would fail again however often it is
// tried (the journal is then not kept for it); ENOENT: it was done before.
bool lasting(int error) {
  for (const int known : {ENOENT, EISDIR, ENOTEMPTY, ENOTDIR, EXDEV, ELOOP, EINVAL, EEXIST})
    if (error == known) return true;
  return false;
}

bool done(int result) { return result == 0 || lasting(errno); }

FileHandle openDir(int at, const char* name) {
  return FileHandle(filePlatform().openAt(at, name, dirFlags, 0));
}

// Removes name in dir: a file or link itself, a folder with what it holds
// (depth levels deep, links never followed).
// The names in the folder dir, but "." and "..".
std::vector<std::string> namesIn(int dir) {
  std::vector<std::string> names;
  const int listed = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
  DIR* entries = listed < 0 ? nullptr : ::fdopendir(listed);
  if (entries == nullptr) {
    if (listed >= 0) ::close(listed);
    return names;
  }
  ::rewinddir(entries);  // a duplicate shares the offset an earlier listing left
  while (const dirent* entry = ::readdir(entries)) {
    const std::string_view leaf = entry->d_name;
    if (leaf != "." && leaf != "..") names.emplace_back(leaf);
  }
  ::closedir(entries);
  return names;
}

// Removes name in dir: a file or link itself, a folder with what it holds
// (depth levels deep, links never followed). False when something could not
// be removed for a reason a later try may not meet.
bool removeTree(int dir, const char* name, int depth) {
  FilePlatform& files = filePlatform();
  if (files.removeAt(dir, name, 0) == 0 || errno == ENOENT) return true;
  if (errno != EISDIR && errno != EPERM) return lasting(errno);
  bool removed = true;
  if (depth > 0) {
    const FileHandle folder(::openat(dir, name, dirFlags));
    if (folder.valid())
      for (const std::string& leaf : namesIn(folder.get()))
        removed &= removeTree(folder.get(), leaf.c_str(), depth - 1);
  }
  return done(files.removeAt(dir, name, AT_REMOVEDIR)) && removed;
}

// Drops .work: the commit record first, so that a run cut short here finds
// nothing left to apply.
void dropWork(int database, const char* folder) {
  const FileHandle work(::openat(database, folder, dirFlags));
  if (work.valid()) {
    filePlatform().removeAt(work.get(), commitName, 0);
    filePlatform().removeAt(work.get(), commitTemporary, 0);
  }
  removeTree(database, folder, 2);
}

// The record as text: a line per field, paths last on their lines.
std::string recordText(const CommitRecord& record) {
  std::string text =
      "name " + record.name + "\nversion " + std::to_string(record.version) + "\nflags ";
  for (const bool flag : {record.entry, record.upgraded, record.script, record.image,
                          record.bootImage, record.oldBootImage, record.dropEntry})
    text += flag ? '1' : '0';
  text += "\nstaged " + record.staged + "\n";
  for (const std::string& path : record.objects) text += "object " + path + "\n";
  for (const std::string& path : record.removals) text += "remove " + path + "\n";
  for (const std::string& name : record.dropped) text += "drop " + name + "\n";
  for (const std::string& path : record.droppedFiles) text += "dropfile " + path + "\n";
  for (const std::string& name : record.entryFiles) text += "entryfile " + name + "\n";
  return text;
}

bool parseRecord(const std::string& text, CommitRecord& record) {
  std::size_t start = 0;
  bool named = false;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;  // a record always ends its lines
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    const std::string_view key = line.substr(0, space);
    const std::string value(line.substr(space + 1));
    if (key == "name") {
      record.name = value, named = true;
    } else if (key == "version") {
      record.version = static_cast<Version>(std::strtoul(value.c_str(), nullptr, 10));
    } else if (key == "flags" && value.size() == 7) {
      bool* flags[] = {&record.entry,     &record.upgraded,     &record.script,   &record.image,
                       &record.bootImage, &record.oldBootImage, &record.dropEntry};
      for (std::size_t i = 0; i < 7; ++i) *flags[i] = value[i] == '1';
    } else if (key == "staged") {
      record.staged = value;
    } else if (key == "object") {
      record.objects.push_back(value);
    } else if (key == "remove") {
      record.removals.push_back(value);
    } else if (key == "drop") {
      record.dropped.push_back(value);
    } else if (key == "dropfile") {
      record.droppedFiles.push_back(value);
    } else if (key == "entryfile") {
      record.entryFiles.push_back(value);
    } else {
      return false;
    }
  }
  return named && isPlainName(record.name);
}

bool readRecord(int work, CommitRecord& record) {
  const FileHandle file(::openat(work, commitName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat info;
  if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > longestRecord)
    return false;
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::read(file.get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return parseRecord(text, record);
}

// Renames each waiting object to its place below /flash; an object already
// gone was moved before. A place that leads out of /flash, or into the
// database or the installer's own files, gets nothing.
bool placeObjects(int work, const std::vector<std::string>& objects) {
  const FileHandle folder(::openat(work, "objects", dirFlags));
  if (!folder.valid()) return objects.empty() || lasting(errno);
  bool complete = true;
  ConfinedDir flash(flashDir);
  for (std::size_t n = 0; n < objects.size(); ++n) {
    const std::string& path = objects[n];
    const std::size_t slash = path.rfind('/');
    const std::string leaf = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (leaf.empty() || leaf == "." || leaf == ".." || climbsUp(path)) continue;
    const Confinement where = flash.resolve(std::string_view(path).substr(0, slash + 1), false);
    if (where == Confinement::Failed) complete &= lasting(errno);
    if (where != Confinement::Inside || reservedPlace(flash.place(), leaf)) continue;
    complete &= done(filePlatform().renameAt(folder.get(), std::to_string(n).c_str(),
                                             flash.place().fd, leaf.c_str()));
  }
  return complete;
}

// Removes the entry name from database as a removal always did: its files
// but dot-named ones, then the folder; a folder inside stays, and so does the
// entry then. A link or file at its place goes itself.
bool removeEntry(int database, const std::string& name) {
  FilePlatform& files = filePlatform();
  const FileHandle entry(::openat(database, name.c_str(), dirFlags));
  if (!entry.valid()) {
    if (errno == ELOOP || errno == ENOTDIR) return done(files.removeAt(database, name.c_str(), 0));
    return errno == ENOENT;
  }
  bool removed = true;
  for (const std::string& leaf : namesIn(entry.get()))
    if (leaf[0] != '.')
      removed &= done(files.removeAt(entry.get(), leaf.c_str(), 0)) || errno == EISDIR;
  return done(files.removeAt(database, name.c_str(), AT_REMOVEDIR)) && removed;
}

// The files of the entry prepared in .work take the places of the package's
// entry's files (made when missing), whose other files go (a folder in it
// stays, as it always did).
bool placeEntry(int database, int work, const CommitRecord& record) {
  FilePlatform& files = filePlatform();
  // A package without an entry gets the prepared one whole: no new folder to make.
  if (files.renameAt(work, "entry", database, record.name.c_str()) == 0) return true;
  const FileHandle entry = openPackageDir(database, record.name, true);
  const FileHandle prepared(::openat(work, "entry", dirFlags));
  if (!entry.valid()) return lasting(errno);
  bool complete = true;
  const std::set<std::string> coming(record.entryFiles.begin(), record.entryFiles.end());
  for (const std::string& name : namesIn(entry.get()))
    // An image the run links (or linked) for this release stays.
    if (name[0] != '.' && coming.count(name) == 0 && !(record.image && name == "image"))
      complete &= done(files.removeAt(entry.get(), name.c_str(), 0)) || errno == EISDIR;
  if (!prepared.valid()) return complete;
  for (const std::string& name : record.entryFiles)
    if (isPlainName(name))
      complete &= done(files.renameAt(prepared.get(), name.c_str(), entry.get(), name.c_str()));
  return complete;
}

// The entry prepared in .work takes the package's place, or the package's
// entry goes.
bool swapEntry(int database, int work, const CommitRecord& record) {
  FilePlatform& files = filePlatform();
  if (record.dropEntry && !removeEntry(database, record.name)) return false;
  if (record.entry && !placeEntry(database, work, record)) return false;
  if (!record.oldBootImage) return true;
  const ConfinedDir flash(flashDir);
  struct stat link;
  if (flash.opened() && ::fstatat(flash.place().fd, "bootimage", &link, 0) == 0 &&
      link.st_nlink == 1)
    files.removeAt(flash.place().fd, "bootimage", 0);
  return true;
}

// What the run does for a staged file once it is installed: its image linked
// into the entry (and as the boot image), then the file removed.
void finishStaged(const CommitRecord& record) {
  const std::string image = "/flash/var/pdb/" + record.name + "/image";
  struct stat status;
  const bool staged = isStagedPath(record.staged) && statOwnFile(record.staged, status);
  if (record.image && staged) {
    removeOwnFile(image);
    // Not linked, the staged file stays: it is the only copy of the image.
    if (linkOwnFile(record.staged, image) != OwnPlacement::Placed) return;
  }
  if (record.image && record.bootImage && statOwnFile(image, status)) {
    removeOwnFile("/flash/bootimage");
    (void)linkOwnFile(image, "/flash/bootimage");
  }
  if (staged) removeOwnFile(record.staged);
}

// The records a committed bundle replaced, which the run removes after the
// commit: a run cut short before that leaves them to the next.
void dropReplaced(int database, const CommitRecord& record) {
  for (const std::string& name : record.dropped)
    if (isPlainName(name)) removeEntry(database, name);
}

// Whether every step was done (or would fail again if tried).
bool applyWith(Console& console, const char* folder, const CommitRecord& record, bool recovering,
               const std::string& owner) {
  const FileHandle database = openDatabaseDir(false);
  if (!database.valid()) return false;
  const FileHandle work(::openat(database.get(), folder, dirFlags));
  if (!work.valid()) return false;
  bool complete = placeObjects(work.get(), record.objects);
  complete &= removePaths(console, record.removals, owner) == PathRemoval::Removed;
  if (recovering) {
    // What a replaced member left that cannot go now stays: its record goes.
    (void)removePaths(console, record.droppedFiles, "");
    dropReplaced(database.get(), record);
  }
  if (record.entry || record.dropEntry) complete &= swapEntry(database.get(), work.get(), record);
  if (record.upgraded) {
    const ConfinedDir flash(flashDir);
    complete &= writeWholeFile(flash.place().fd, "UPGRADED", "") == WriteResult::Written;
  }
  if (recovering) finishStaged(record);
  filePlatform().syncAll();
  if (record.script) {
    InstalledPackage package;
    package.name = record.name;
    package.version = record.version;
    // A failed script was warned about: running it again would not help.
    (void)runScript(console, package, "oninstall");
  }
  return complete;
}

void recoverFolder(Console& console, const char* folder);
void dropFolder(const char* folder);

}  // namespace

PackageJournal::PackageJournal(Kind kind) : folder_(kind == Kind::Removal ? dropName : workName) {}

JournalStep PackageJournal::begin(Console& console) {
  recoverFolder(console, folder_);
  const FileHandle database = openDatabaseDir(true);
  if (!database.valid()) return JournalStep::Failed;
  FilePlatform& files = filePlatform();
  if (files.makeDirAt(database.get(), folder_, 0700) != 0) return JournalStep::Failed;
  work_ = openDir(database.get(), folder_);
  if (!work_.valid()) return JournalStep::Failed;
  for (const char* name : {"entry", "objects"})
    if (files.makeDirAt(work_.get(), name, 0770) != 0) return JournalStep::Failed;
  entry_ = openDir(work_.get(), "entry");
  objects_ = openDir(work_.get(), "objects");
  return entry_.valid() && objects_.valid() ? JournalStep::Done : JournalStep::Failed;
}

std::string PackageJournal::addObject(const std::string& path) {
  record_.objects.push_back(path);
  return std::to_string(record_.objects.size() - 1);
}

bool PackageJournal::isObject(const std::string& path) const {
  for (const std::string& object : record_.objects)
    if (object == path) return true;
  return false;
}

InstallStep PackageJournal::entryFits(Console& console, const InstalledPackage& package) {
  const FileHandle database = openDatabaseDir(false);
  const FileHandle entry =
      database.valid() && isPlainName(package.name)
          ? FileHandle(::openat(database.get(), package.name.c_str(), dirFlags))
          : FileHandle();
  if (!entry.valid()) return InstallStep::Done;
  const std::vector<std::string> prepared = namesIn(entry_.get());
  const std::set<std::string> names(prepared.begin(), prepared.end());
  for (const char* name : {"oninstall", "onuninstall", "version", "deps", "provides", "conflicts",
                           "bundle", "files", "disabled", "enabled"}) {
    struct stat info;
    if (names.count(name) == 0 || ::fstatat(entry.get(), name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(info.st_mode))
      continue;
    const std::string what = (name[0] == 'o' ? "" : "meta/") + std::string(name);
    errno = EISDIR;
    reportCreateFailure(console, package, what.c_str());
    return InstallStep::Failed;
  }
  return InstallStep::Done;
}

JournalStep PackageJournal::commit(CommitRecord record) {
  record.objects = std::move(record_.objects);
  if (record.entry) record.entryFiles = namesIn(entry_.get());
  record_ = std::move(record);
  const std::string text = recordText(record_);
  FilePlatform& files = filePlatform();
  files.syncAll();
  bool written = false;
  {
    FileOutput out(work_.get(), commitTemporary);
    out.write(text);
    written = out.finish() == WriteResult::Written;
  }
  if (!written || files.renameAt(work_.get(), commitTemporary, work_.get(), commitName) != 0) {
    const int error = errno;
    files.removeAt(work_.get(), commitTemporary, 0);
    errno = error;
    return JournalStep::Failed;
  }
  files.syncAll();
  return JournalStep::Done;
}

JournalApply PackageJournal::apply(Console& console, const std::string& removalOwner) {
  const bool complete = applyWith(console, folder_, record_, false, removalOwner);
  entry_.reset();
  objects_.reset();
  work_.reset();
  if (!complete) return JournalApply::Pending;
  if (record_.staged.empty()) dropFolder(folder_);
  return JournalApply::Done;
}

void PackageJournal::rollback(Console& console, InstalledPackage& package) {
  entry_.reset();
  objects_.reset();
  work_.reset();
  InstalledPackage made;
  for (const std::string& path : package.files)
    if (!isObject(path)) made.files.insert(path);
  const FileHandle database = openDatabaseDir(false);
  if (database.valid()) dropWork(database.get(), folder_);
  removeFiles(console, made);
  package.files.clear();
}

namespace {

void recoverFolder(Console& console, const char* folder) {
  const FileHandle database = openDatabaseDir(false);
  if (!database.valid()) return;
  const FileHandle work(::openat(database.get(), folder, dirFlags));
  if (!work.valid()) {
    // Only a folder can be a journal: anything else of that name goes.
    if (errno == ENOTDIR || errno == ELOOP) filePlatform().removeAt(database.get(), folder, 0);
    return;
  }
  CommitRecord record;
  // Left to the next run when a step failed in a way a later try may not.
  if (readRecord(work.get(), record) && !applyWith(console, folder, record, true, "")) return;
  dropWork(database.get(), folder);
}

void dropFolder(const char* folder) {
  const FileHandle database = openDatabaseDir(false);
  if (database.valid()) dropWork(database.get(), folder);
}

}  // namespace

void recoverJournal(Console& console) {
  recoverFolder(console, workName);
  recoverFolder(console, dropName);
  const FileHandle database = openDatabaseDir(false);
  if (database.valid()) removeStateTemporary(database.get());
}

void finishJournal() { dropFolder(workName); }

bool isStagedPath(const std::string& path) {
  std::string_view name = path;
  bool inStaging = false;
  for (const std::string_view dir : {"/flash/rw/pckg/", "/flash/var/pckg/", "/ram/"}) {
    if (name.starts_with(dir)) {
      name.remove_prefix(dir.size());
      inStaging = true;
      break;
    }
  }
  return inStaging && isPlainName(std::string(name)) &&
         (name.ends_with(".tpk") || name.ends_with(".lpk")) && name.size() > 4;
}
