#include "upgrade/upgrade_run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "files/file_platform.h"
#include "files/own_file.h"
#include "install/journal.h"
#include "plan/candidate_order.h"
#include "plan/relations.h"
#include "plan/scheduled_actions.h"
#include "plan/transaction.h"
#include "upgrade/halt.h"
#include "upgrade/move_file.h"
#include "upgrade/postlog.h"
#include "upgrade/ram_budget.h"
#include "upgrade/ram_moves.h"
#include "upgrade/staging.h"

namespace {

// Removes the marker at path; a directory standing there stays and is reported.
void removeOwnMarker(Console& console, const char* path) {
  if (removeOwnFile(path) == OwnRemoval::Directory)
    console.error("could not remove %s: %s", path, std::strerror(EISDIR));
}

// The states the user forced, and every name an enabled package answers to.
void takeStock(const Console& console, UserStates& userStates, std::set<std::string>& available) {
  for (const auto& record : console.packages) {
    if (record->userForced) userStates[record->name] = record->disabled ? 1 : 0;
    if (record->disabled) continue;
    available.insert(record->name);
    for (const Dependency& provided : record->provides) available.insert(provided.name);
  }
}

// Whether path stands for the file that was checked and installed (its open
// descriptor).
bool standsForInstalled(const PackageFile& file, const std::string& path) {
  struct stat named, installed;
  return statOwnFile(path, named) && ::fstat(file.descriptor, &installed) == 0 &&
         named.st_dev == installed.st_dev && named.st_ino == installed.st_ino;
}

// Links the file's name as image, when the name still stands for the file
// that was checked and installed; false otherwise.
bool linkInstalled(const PackageFile& file, const std::string& image) {
  if (!linkOwnFile(file.path, image)) return false;
  if (standsForInstalled(file, image)) return true;
  removeOwnFile(image);
  return false;
}

// Keeps the installed image package's file as its image: under its database
// entry, or, when that cannot be linked, in the second image place. False,
// reported, when it could be linked in neither while the file's name still
// stands for it: the file there is then the only copy of the image.
bool keepImage(Console& console, const PackageFile& file, bool withBootImage) {
  // Whole paths, never cut: a cut path would name another file.
  std::string image = "/flash/var/pdb/" + file.name + "/image";
  removeOwnFile(image);
  struct stat bootImage;
  if (statOwnFile("/flash/bootimage", bootImage) && bootImage.st_nlink == 1)
    removeOwnFile("/flash/bootimage");
  if (linkInstalled(file, image)) {
    if (withBootImage && !linkOwnFile(image, "/flash/bootimage")) leaveStagedToNextRun();
    return true;
  }
  // A full disk or an I/O error: the file stays, and the next run links it.
  if (errno == ENOSPC || errno == EIO) {
    leaveStagedToNextRun();
    return false;
  }
  makeOwnDir("/rw/pckg/.images", 0755);
  image = "/rw/pckg/.images/" + file.name;
  const bool linked = linkInstalled(file, image);
  if (!linked) console.warning("package %s image could not be installed", file.name.c_str());
  if (withBootImage) writeOwnFile("/ram/bootimage", file.name + "\n", 0666);
  return linked || !standsForInstalled(file, file.path);
}

void install(Console& console, PackageFile& file, RunFlags runFlags, const UserStates& userStates) {
  bool withBootImage = false;
  // Named in the commit: a run cut short after it still removes the file.
  const ScopedStagedFile staged(file.path);
  const bool installed = installFromStream(console, file, runFlags, userStates, nullptr,
                                           &withBootImage) == InstallOutcome::Installed;
  if (!installed) {
    // The file stays for a later run, where it was found when it can go back.
    if (file.foundPath != file.path && !moveFile(file.path.c_str(), file.foundPath.c_str()))
      console.warning("package %s file could not be moved back to %s: it stays at %s",
                      file.name.c_str(), file.foundPath.c_str(), file.path.c_str());
    return;
  }
  if (file.isImage && !keepImage(console, file, withBootImage)) return;
  // Installed: a later run must not bring the RAM copy back.
  if (file.foundPath != file.path) forgetRamMove(file.path);
  if (removeOwnFile(file.path) == OwnRemoval::Failed) leaveStagedToNextRun();
}

// The enabled records that answered to the available names before the run
// and got lost: found again, disabled, and free of conflicts.
std::vector<InstalledPackage*> lostProviders(Console& console,
                                             const std::set<std::string>& available) {
  std::vector<InstalledPackage*> lost;
  for (const std::string& name : available) {
    InstalledPackage* record = findActive(console, name);
    if (record != nullptr && record->disabled && findConflicting(console, *record) == nullptr)
      lost.push_back(record);
  }
  return lost;
}

}  // namespace

UpgradeOutcome runUpgrade(Console& console, RunFlags runFlags) {
  struct stat marker;
  if (statOwnFile("/rw/DOWNGRADE", marker)) {
    runFlags |= allowDowngrade;
    removeOwnMarker(console, "/rw/DOWNGRADE");
  }
  Candidates candidates;
  if (runFlags & reinstall) scanStagingDir(console, "/ram/", candidates);
  scanStagingDir(console, "/flash/rw/pckg/", candidates);
  if (candidates.empty()) scanStagingDir(console, "/flash/var/pckg/", candidates);
  orderCandidates(console, candidates, (runFlags & allowDowngrade) != 0, true);

  UserStates userStates;
  std::set<std::string> available;
  takeStock(console, userStates, available);
  Candidates installList = moveToRam(candidates, runFlags, ramBudget());
  filePlatform().syncAll();
  UpgradeOutcome outcome;
  if (!installList.empty()) outcome.log = reservePostlog(console);
  for (auto& file : installList) install(console, *file, runFlags, userStates);
  // Every moved file was installed or went back where it was found.
  dropRamMoves();

  const std::vector<InstalledPackage*> lost = lostProviders(console, available);
  executeEnables(console, lost, 1);
  if (console.packages.empty()) haltForGood();
  outcome.changed = !installList.empty() || !lost.empty();
  return outcome;
}
