// The steps by which the upgrade run changes the device around the
// installations: the downgrade marker, the RAM copies of staged files, the
// message log, the images and the staged files themselves. The run decides
// and reports; it changes files only through these and the flash steps.
#pragma once

#include <cstdint>
#include <utility>

#include "console/console.h"
#include "install/journal.h"
#include "model/run_flags.h"
#include "pdb/database_loader.h"
#include "plan/flash_effects.h"
#include "upgrade/postlog.h"
#include "upgrade/ram_moves.h"
#include "upgrade/staging.h"

// What keeping an installed image package's file as its image came to:
//   Kept       the image is linked, or the file's name no longer stands for
//              the installed file: the file may go
//   FileStays  the file is the only copy of the image and must stay: reported,
//              unless linking it was left to the next run (a full disk, an I/O
//              error)
enum class ImageKeep : std::uint8_t { Kept, FileStays };

class UpgradeEffects {
 public:
  virtual ~UpgradeEffects() = default;

  // The steps that install, remove and record packages.
  virtual FlashEffects& flash() = 0;
  // The scheduled actions were carried out: their schedule files go, once
  // what was carried out is on flash.
  virtual void consumeSchedules() = 0;
  // Removes /rw/DOWNGRADE, which the run has seen; a directory standing there
  // stays and is reported.
  virtual void dropDowngradeMarker(Console& console) = 0;
  // The candidates to install, in their order, the small ones moved to the
  // RAM disk (see moveToRam), with the file systems flushed afterwards.
  virtual Candidates stageInRam(Candidates& candidates, RunFlags runFlags) = 0;
  // Reserves the message log's space before the first installation (see
  // reservePostlog).
  [[nodiscard]] virtual PostlogSpace reserveLog(Console& console) = 0;
  // Keeps the installed image package's file as its image (see ImageKeep).
  [[nodiscard]] virtual ImageKeep keepImage(Console& console, const PackageFile& file,
                                            bool withBootImage) = 0;
  // A file that was not installed stays for a later run: it goes back where
  // it was found, reported when it cannot.
  virtual void keepForLater(Console& console, const PackageFile& file) = 0;
  // The file was installed: it goes, and a later run must not bring its RAM
  // copy back.
  virtual void dropInstalledFile(const PackageFile& file) = 0;
  // Every moved file was installed or went back: the note of moves goes.
  virtual void dropRamMoves() = 0;
  // The installed set is empty: the device cannot run (see haltForGood).
  virtual void halt() = 0;
  // An installation from file begins or has ended (its image kept and the
  // file dropped or kept for later).
  virtual void installationBegins(const PackageFile& file) = 0;
  virtual void installationEnds() = 0;

  // Brackets one installation: begins when made, ends when it goes.
  class Installing {
   public:
    Installing(UpgradeEffects& effects, const PackageFile& file) : effects_(effects) {
      effects_.installationBegins(file);
    }
    ~Installing() { effects_.installationEnds(); }
    Installing(const Installing&) = delete;
    Installing& operator=(const Installing&) = delete;

   private:
    UpgradeEffects& effects_;
  };
};

// The device's steps, one object per run: it holds the schedule files the
// load kept until the scheduled actions were carried out, the RAM moves the
// run noted until each moved file is installed or back where it was found,
// and the installation from file in progress.
class DeviceUpgradeEffects final : public UpgradeEffects {
 public:
  explicit DeviceUpgradeEffects(KeptSchedules schedules) : schedules_(std::move(schedules)) {}
  DeviceUpgradeEffects(const DeviceUpgradeEffects&) = delete;
  DeviceUpgradeEffects& operator=(const DeviceUpgradeEffects&) = delete;

  FlashEffects& flash() override;
  void consumeSchedules() override;
  void dropDowngradeMarker(Console& console) override;
  Candidates stageInRam(Candidates& candidates, RunFlags runFlags) override;
  [[nodiscard]] PostlogSpace reserveLog(Console& console) override;
  [[nodiscard]] ImageKeep keepImage(Console& console, const PackageFile& file,
                                    bool withBootImage) override;
  void keepForLater(Console& console, const PackageFile& file) override;
  void dropInstalledFile(const PackageFile& file) override;
  void dropRamMoves() override;
  void halt() override;
  // The journal names the file in its commit records while it is installed,
  // so that a run cut short after a commit still removes it; once the
  // installation has ended, the journal its apply kept is finished unless
  // that apply, keeping the image or dropping the file met a failure a later
  // run may not meet.
  void installationBegins(const PackageFile& file) override;
  void installationEnds() override;

 private:
  DeviceFlashEffects flash_;
  KeptSchedules schedules_;
  RamMoves moves_;
  // The installation from file in progress (no path outside one).
  StagedInstall staged_;
};
