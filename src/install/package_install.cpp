#include "install/package_install.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>

#include "files/confined_dir.h"
#include "files/device_root.h"
#include "files/file_platform.h"
#include "install/file_extraction.h"
#include "install/install_platform.h"
#include "install/journal.h"
#include "install/package_removal.h"
#include "pdb/database_writer.h"
#include "pdb/file_output.h"
#include "pdb/install_messages.h"
#include "pdb/package_dir.h"
#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"

namespace {

constexpr std::uint32_t imageStep = 4096;
constexpr int shellNotStarted = 127;

void ignoreSignal(int) {}

// The child's end of runScript: never returns.
[[noreturn]] void runInFlashRoot(const char* command) {
  InstallPlatform& platform = installPlatform();
  // Outside /flash the script would act on the device's real root. Below a
  // scoped device root, its "flash" is found from that root.
  const DevicePlace flash = devicePlace(flashDir);
  if ((flash.dir != AT_FDCWD && ::fchdir(flash.dir) != 0) || platform.changeRoot(flash.name) != 0 ||
      ::chdir("/") != 0)
    ::_exit(shellNotStarted);
  platform.runShell(command);
  ::_exit(shellNotStarted);
}

// Passes over the image payload, showing progress before each step.
void passOverImage(Console& console, const InstalledPackage& package, PartStream& stream) {
  for (std::uint32_t left = stream.partLength(); left > 0 && stream;) {
    showInstalling(console, package, stream);
    const std::uint32_t step = std::min(left, imageStep);
    stream.seekg(std::streamoff(step), std::ios_base::cur);
    left -= step;
  }
}

bool takeScript(Console& console, const InstalledPackage& package, PartStream& stream,
                const char* scriptName, const PackageJournal* journal) {
  if (journal == nullptr)
    return writeScript(console, package, stream, stream.partLength(), scriptName) ==
           WriteResult::Written;
  return writeScript(console, package, stream, stream.partLength(), scriptName,
                     journal->entryDir()) == WriteResult::Written;
}

// The scripts, the file tree, the verification and the record (into the
// journal's entry when there is one); false after a reported failure.
bool installParts(Console& console, InstalledPackage& package, PartStream& stream,
                  RunFlags runFlags, PackageJournal* journal) {
  if (stream.currentType() == partInstallScript) {
    // An image package never runs an install script of its own.
    if (!package.isImage && !takeScript(console, package, stream, "oninstall", journal))
      return false;
    stream.next();
  }
  if (stream.currentType() == partUninstallScript) {
    if (!takeScript(console, package, stream, "onuninstall", journal)) return false;
    stream.next();
  }
  if (stream.currentType() == partFileTree) {
    const bool treeInPlace = (runFlags & bootImageInPlace) && (package.flags & bootImage);
    if (!treeInPlace && extractFiles(console, package, stream, journal) == InstallStep::Failed)
      return false;
    stream.next();
  }
  if (acceptPackage(stream) != PackageVerdict::Accepted) {
    reportBrokenPackage(console, package);
    return false;
  }
  // A package installed in place (without a journal) records nothing.
  return journal == nullptr ||
         writePackageRecord(console, package, journal->entryDir()) == WriteResult::Written;
}

// A package without an entry of its own: its files are made in place and
// nothing is recorded; a failure removes what was made.
InstallStep installInPlace(Console& console, InstalledPackage& package, PartStream& stream,
                           RunFlags runFlags) {
  if (stream.currentType() == partImage) {
    passOverImage(console, package, stream);
    stream.next();
  }
  if (!installParts(console, package, stream, runFlags, nullptr)) {
    removeFiles(console, package);
    return InstallStep::Failed;
  }
  if (package.flags & bootImage) {
    const ConfinedDir flash(flashDir);
    (void)writeWholeFile(flash.place().fd, "UPGRADED", "");
  }
  filePlatform().syncAll();
  // A failed script was warned about: the package is in all the same.
  if (!package.disabled) (void)runScript(console, package, "oninstall");
  reportInstalled(console, package);
  return InstallStep::Done;
}

// The journal the installation is prepared in; a failure is reported as the
// entry's.
bool beginJournal(Console& console, InstalledPackage& package, PackageJournal& journal) {
  if (!isPlainName(package.name)) errno = EINVAL;
  if (isPlainName(package.name) && journal.begin(console) == JournalStep::Done) return true;
  reportCreateFailure(console, package, "meta");
  journal.rollback(console, package);
  return false;
}

// Commits the prepared installation, read from staged's file (when given),
// which replaces old (when given); a record that cannot be written is
// reported as the entry's.
bool commitJournal(Console& console, const InstalledPackage& package, const InstalledPackage* old,
                   const StagedInstall* staged, PackageJournal& journal) {
  CommitRecord record;
  record.name = package.name;
  record.version = package.version;
  if (old != nullptr) {
    record.removals = pathsLeftBehind(console.packages, *old, package);
    record.oldBootImage = (old->flags & bootImage) != 0;
  }
  record.upgraded = (package.flags & bootImage) != 0;
  record.script = !package.disabled;
  // A member's staged file is the bundle's: it goes with the bundle's record.
  if (package.bundle.name.empty() && staged != nullptr) {
    record.staged = staged->path;
    record.image = package.isImage;
    record.bootImage = (package.flags & bootImage) != 0;
  }
  if (journal.commit(std::move(record)) == JournalStep::Done) return true;
  reportCreateFailure(console, package, "meta");
  return false;
}

// Applies the committed journal and notes what the apply left in staged, when
// the record names staged's file.
void applyJournal(Console& console, PackageJournal& journal, const std::string& removalOwner,
                  StagedInstall* staged) {
  const JournalApply applied = journal.apply(console, removalOwner);
  if (staged == nullptr) return;
  if (applied == JournalApply::Done)
    staged->journalWaits = true;
  else
    staged->leftToNextRun = true;
}

}  // namespace

InstallStep installPackage(Console& console, InstalledPackage& package, PartStream& stream,
                           RunFlags runFlags, const InstalledPackage* old, StagedInstall* staged) {
  showInstalling(console, package, stream);
  // A package with the alternate magic has no entry of its own: the entry of
  // its name, if any, is the installed release's. It goes in in place.
  if (stream.isAlternateMagic()) return installInPlace(console, package, stream, runFlags);
  PackageJournal journal;
  if (!beginJournal(console, package, journal)) return InstallStep::Failed;
  if (stream.currentType() == partImage) {
    passOverImage(console, package, stream);
    stream.next();
  }
  if (!installParts(console, package, stream, runFlags, &journal) ||
      journal.entryFits(console, package) == InstallStep::Failed ||
      !commitJournal(console, package, old, staged, journal)) {
    // Only what this installation made goes; the installed release never changed.
    journal.rollback(console, package);
    return InstallStep::Failed;
  }
  // A member's record does not name the staged file: the bundle's does.
  applyJournal(console, journal, old != nullptr ? nameVersionText(*old) : std::string(),
               package.bundle.name.empty() ? staged : nullptr);
  reportInstalled(console, package);
  return InstallStep::Done;
}

InstallStep registerBundle(Console& console, InstalledPackage& bundle, const InstalledPackage* old,
                           const std::set<std::string>& replaced, StagedInstall* staged) {
  PackageJournal journal;
  if (!beginJournal(console, bundle, journal)) return InstallStep::Failed;
  if (writePackageRecord(console, bundle, journal.entryDir()) != WriteResult::Written) {
    journal.rollback(console, bundle);
    return InstallStep::Failed;
  }
  CommitRecord record;
  record.name = bundle.name;
  record.version = bundle.version;
  if (staged != nullptr) record.staged = staged->path;
  if (old != nullptr) record.oldBootImage = (old->flags & bootImage) != 0;
  const InstalledPackage none;
  for (const std::string& name : replaced) {
    const InstalledPackage* member = console.packages.find(name);
    if (member == nullptr || !isPlainName(name)) continue;
    record.dropped.push_back(name);
    for (std::string& path : pathsLeftBehind(console.packages, *member, none))
      record.droppedFiles.push_back(std::move(path));
  }
  if (journal.commit(std::move(record)) == JournalStep::Failed) {
    reportCreateFailure(console, bundle, "meta");
    journal.rollback(console, bundle);
    return InstallStep::Failed;
  }
  applyJournal(console, journal, std::string(), staged);
  return InstallStep::Done;
}

ScriptRun runScript(Console& console, const InstalledPackage& package, const char* scriptName) {
  const std::string script = "/var/pdb/" + package.name + "/" + scriptName;
  struct stat info;
  const std::string path = "/flash" + script;
  const DevicePlace at = devicePlace(path.c_str());
  if (::fstatat(at.dir, at.name, &info, 0) != 0) return ScriptRun::Passed;  // nothing to run
  const std::string command = script + " >/dev/null 2>&1";

  struct sigaction action {};
  action.sa_handler = ignoreSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  ::sigaction(SIGCHLD, &action, nullptr);

  InstallPlatform& platform = installPlatform();
  const pid_t child = platform.forkChild();
  if (child == 0) runInFlashRoot(command.c_str());
  if (child > 0) {
    int status = 0;
    pid_t waited;
    while ((waited = platform.waitChild(child, &status)) < 0 && errno == EINTR) {
    }
    if (waited == child && status == 0) return ScriptRun::Passed;
  }
  console.warning("package %s %s script failed", nameVersionText(package).c_str(), scriptName);
  return ScriptRun::Failed;
}
