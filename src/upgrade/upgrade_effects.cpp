#include "upgrade/upgrade_effects.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "files/file_platform.h"
#include "files/own_file.h"
#include "pdb/database_loader.h"
#include "upgrade/halt.h"
#include "upgrade/move_file.h"
#include "upgrade/ram_budget.h"
#include "upgrade/ram_moves.h"

namespace {

// Removes the marker at path; a directory standing there stays and is reported.
void removeOwnMarker(Console& console, const char* path) {
  if (removeOwnFile(path) == OwnRemoval::Directory)
    console.error("could not remove %s: %s", path, std::strerror(EISDIR));
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
  if (linkOwnFile(file.path, image) != OwnPlacement::Placed) return false;
  if (standsForInstalled(file, image)) return true;
  removeOwnFile(image);
  return false;
}

// Keeps the installed image package's file as its image: under its database
// entry, or, when that cannot be linked, in the second image place. FileStays,
// reported, when it could be linked in neither while the file's name still
// stands for it: the file there is then the only copy of the image. A step a
// later run may do leaves staged to the next run.
ImageKeep keepImage(Console& console, const PackageFile& file, bool withBootImage,
                    StagedInstall& staged) {
  // Whole paths, never cut: a cut path would name another file.
  std::string image = "/flash/var/pdb/" + file.name + "/image";
  removeOwnFile(image);
  struct stat bootImage;
  if (statOwnFile("/flash/bootimage", bootImage) && bootImage.st_nlink == 1)
    removeOwnFile("/flash/bootimage");
  if (linkInstalled(file, image)) {
    if (withBootImage && linkOwnFile(image, "/flash/bootimage") != OwnPlacement::Placed)
      staged.leftToNextRun = true;
    return ImageKeep::Kept;
  }
  // A full disk or an I/O error: the file stays, and the next run links it.
  if (errno == ENOSPC || errno == EIO) {
    staged.leftToNextRun = true;
    return ImageKeep::FileStays;
  }
  (void)makeOwnDir("/rw/pckg/.images", 0755);
  image = "/rw/pckg/.images/" + file.name;
  const bool linked = linkInstalled(file, image);
  if (!linked) console.warning("package %s image could not be installed", file.name.c_str());
  if (withBootImage) (void)writeOwnFile("/ram/bootimage", file.name + "\n", 0666);
  return linked || !standsForInstalled(file, file.path) ? ImageKeep::Kept : ImageKeep::FileStays;
}

}  // namespace

FlashEffects& DeviceUpgradeEffects::flash() { return flash_; }

void DeviceUpgradeEffects::consumeSchedules() {
  filePlatform().syncAll();
  // Actions whose state could not be recorded are asked for again by the
  // next run.
  consumeScheduleFiles(schedules_, flash_.everyStateRecorded());
}

void DeviceUpgradeEffects::dropDowngradeMarker(Console& console) {
  removeOwnMarker(console, "/rw/DOWNGRADE");
}

Candidates DeviceUpgradeEffects::stageInRam(Candidates& candidates, RunFlags runFlags) {
  Candidates staged = moveToRam(candidates, runFlags, ramBudget(), moves_);
  filePlatform().syncAll();
  return staged;
}

PostlogSpace DeviceUpgradeEffects::reserveLog(Console& console) { return reservePostlog(console); }

ImageKeep DeviceUpgradeEffects::keepImage(Console& console, const PackageFile& file,
                                          bool withBootImage) {
  return ::keepImage(console, file, withBootImage, staged_);
}

void DeviceUpgradeEffects::keepForLater(Console& console, const PackageFile& file) {
  if (file.foundPath != file.path &&
      moveFile(file.path.c_str(), file.foundPath.c_str()) == FileMove::NotMoved)
    console.warning("package %s file could not be moved back to %s: it stays at %s",
                    file.name.c_str(), file.foundPath.c_str(), file.path.c_str());
}

void DeviceUpgradeEffects::dropInstalledFile(const PackageFile& file) {
  if (file.foundPath != file.path) forgetRamMove(moves_, file.path);
  if (removeOwnFile(file.path) == OwnRemoval::Failed) staged_.leftToNextRun = true;
}

void DeviceUpgradeEffects::dropRamMoves() { ::dropRamMoves(moves_); }

void DeviceUpgradeEffects::halt() { haltForGood(); }

void DeviceUpgradeEffects::installationBegins(const PackageFile& file) {
  staged_ = StagedInstall{file.path, false, false};
  flash_.installFrom(&staged_);
}

void DeviceUpgradeEffects::installationEnds() {
  flash_.installFrom(nullptr);
  if (staged_.journalWaits && !staged_.leftToNextRun) finishJournal();
  staged_ = StagedInstall();
}
