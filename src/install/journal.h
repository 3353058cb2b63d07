// The journal of one package's installation or removal: everything in flight
// waits in a dot-named folder of the database directory (.work, or .drop for a
// removal), which the loader passes over, until one rename commits it; what
// comes after the commit is redone by the next run until it is done.
//
// Prepare: the new entry is written into .work/entry; each object of the file
// tree is made in its place when nothing stands there, and otherwise in
// .work/objects/<n>, so that nothing of the installed release is touched.
// Commit: sync, the record .work/commit (written beside it and renamed into
// place), sync. Apply: each waiting object is renamed to its place, the paths
// of the old release that nothing lists any more are removed, the entry's
// files are renamed into the package's entry, the markers are made, sync, the
// install script runs. The folder goes last: while it holds a commit record,
// recoverJournal() (run before the database is loaded) applies it again, the
// script included.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/console.h"
#include "files/file_handle.h"
#include "install/install_step.h"
#include "model/package.h"

// What the commit record holds: enough to apply the installation again.
struct CommitRecord {
  std::string name;  // the package, a plain name
  Version version = 0;
  std::vector<std::string> objects;     // object n goes to objects[n], below /flash
  std::vector<std::string> removals;    // paths of the old release, below /flash
  std::string staged;                   // the staged package file, removed once applied
  bool entry = true;                    // .work/entry becomes the package's entry
  bool upgraded = false;                // /flash/UPGRADED is left (a boot-image package)
  bool script = false;                  // the install script runs
  bool image = false;                   // the staged file is the entry's image
  bool bootImage = false;               // and /flash/bootimage links it
  bool oldBootImage = false;            // the old entry carried the boot image
  bool dropEntry = false;               // a removal: the package's entry goes
  std::vector<std::string> entryFiles;  // the files of the prepared entry
  // The records a bundle replaced: removed by the run after the commit, and
  // by the next run when that one was cut short.
  std::vector<std::string> dropped;       // their names
  std::vector<std::string> droppedFiles;  // their files that nothing else lists
};

// What making a journal's folder or writing its commit record came to; the
// caller reports a failure (as the entry's):
//   Done    made, or written and durable
//   Failed  errno is set; nothing of the installed release has changed
enum class JournalStep : std::uint8_t { Done, Failed };

// What the apply of a committed journal left.
enum class JournalApply : std::uint8_t {
  // Every step was done, or would fail again however often it was tried. The
  // folder is gone, but when the record names a staged file: it then waits
  // for finishJournal().
  Done,
  // A step failed in a way a later try may not (a full disk, an I/O error):
  // the folder stays, and the next run applies it again. Nothing more was
  // reported than the steps themselves report (a removal, the script).
  Pending,
};

class PackageJournal {
 public:
  // An installation journals in .work; a removal, which may come while an
  // installation waits for its staged file to go, in .drop.
  enum class Kind : std::uint8_t { Installation, Removal };
  explicit PackageJournal(Kind kind = Kind::Installation);
  PackageJournal(const PackageJournal&) = delete;
  PackageJournal& operator=(const PackageJournal&) = delete;

  // Completes or throws away what an earlier installation left (see
  // recoverJournal), then makes .work with an empty entry/ and objects/.
  [[nodiscard]] JournalStep begin(Console& console);
  // The folder the new entry is written into.
  int entryDir() const { return entry_.get(); }
  // A new object's folder and name; the object goes to path (below /flash,
  // as recorded in the files list) when the installation is applied.
  int objectsDir() const { return objects_.get(); }
  std::string addObject(const std::string& path);
  bool isObject(const std::string& path) const;

  // Makes what was prepared durable and writes record (its objects are the
  // ones added here) as the commit; Failed when it cannot be written.
  [[nodiscard]] JournalStep commit(CommitRecord record);
  // Carries out the committed installation (see recoverJournal); a removal
  // outside /flash is reported as of removalOwner. The folder stays when the
  // record names a staged file: finishJournal() drops it once that file was
  // removed, unless this apply was left to the next run.
  [[nodiscard]] JournalApply apply(Console& console, const std::string& removalOwner);
  // Throws the prepared installation away: .work, and the paths of package's
  // files list that were made in place (not waiting as objects).
  void rollback(Console& console, InstalledPackage& package);
  // Whether the prepared entry's files can take their places in the
  // package's entry: a folder standing at one of their names is Failed,
  // reported as the file's.
  [[nodiscard]] InstallStep entryFits(Console& console, const InstalledPackage& package);

 private:
  const char* folder_;
  FileHandle work_, entry_, objects_;
  CommitRecord record_;
};

// Run before the database is loaded: a .work or .drop with a commit record is
// applied again (an install script run again) and dropped; without one, it is
// thrown away (the installed release never changed). Every step of an apply
// can be repeated; paths and names come from flash and are confined like
// database paths: an object or removal leading out of /flash or into a place
// never a package's is passed over. The recovery also links a recorded image,
// removes the staged file and the records a bundle replaced. A step that fails
// in a way a later try may not (a full disk, an I/O error) keeps the journal
// for the run after.
void recoverJournal(Console& console);

// Drops .work, which an apply kept for its staged file, once the installation
// it records is complete: the caller's to know (see StagedInstall).
void finishJournal();

// One installation from a staged package file: the file, which the flash
// steps name in the commit records while the installation lasts; whether the
// journal whose record names it was applied (Done) and waits to be finished;
// and whether the run left it to the next run (that apply was Pending, or the
// image could not be linked or the file not removed for a reason a later try
// may not meet: the journal then stays, and the next run links and removes
// it). Once the installation has ended, the run finishes a waiting journal
// (finishJournal()) unless it left the file.
struct StagedInstall {
  std::string path;
  bool journalWaits = false;
  bool leftToNextRun = false;
};

// Whether path is a staged package file of a shape the run writes: a plain
// ".tpk" or ".lpk" name in /flash/rw/pckg, /flash/var/pckg or /ram.
bool isStagedPath(const std::string& path);
