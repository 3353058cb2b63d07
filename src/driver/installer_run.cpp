#include "driver/installer_run.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <utility>

#include "console/console.h"
#include "driver/command_line.h"
#include "driver/exit_status.h"
#include "driver/listing.h"
#include "driver/root_change.h"
#include "driver/stream_mode.h"
#include "files/own_file.h"
#include "install/journal.h"
#include "pdb/database_loader.h"
#include "plan/transaction.h"
#include "upgrade/postlog.h"
#include "upgrade/ram_moves.h"
#include "upgrade/upgrade_run.h"

namespace {

void touchChangedMarker() { (void)writeOwnFile("/flash/PCKGS_CHANGED", "", 0600); }

}  // namespace

int runInstaller(int argc, const char* const* argv) {
  Console& console = Console::instance();
  Options options;
  if (parseOptions(argc, argv, options, stdout) == ParseResult::Usage) return 0;
  // A sandbox run whose root cannot be entered (a mistyped root, or no right
  // to change it) must not read or change the device it runs on.
  if (enterRoot(options.root) == RootChange::NotEntered) return 1;
  const char* archVariable = std::getenv("arch");
  const std::string arch = archVariable ? archVariable : "i386";
  // An installation a run left half done is completed, or thrown away when it
  // never committed, before anything reads the database.
  recoverJournal(console);
  removeOwnFile("/flash/.PCKGS_CHANGED.new");
  // A listing only reads: it consumes the schedule files as it loads them.
  // Any other run keeps them until their actions are durable.
  KeptSchedules schedules;
  loadDatabase(console, options.quiet, arch, options.show ? nullptr : &schedules);

  if (options.show) {
    printListing(console, std::cout);
    return 0;
  }
  DeviceUpgradeEffects effects(std::move(schedules));
  // Staged files a killed run left in RAM go back before anything else.
  restoreRamMoves(console);
  if (options.cleanup) {
    (void)cleanup(console, effects.flash());
    effects.consumeSchedules();
    return 0;
  }

  bool changed = applySchedules(console, effects) == PlanRun::Executed;
  // With "bootimage" set, the boot image is already in place.
  const RunFlags runFlags = options.runFlags | allowUpgrade |
                            (std::getenv("bootimage") != nullptr ? RunFlags{bootImageInPlace} : 0);
  int status = 0;
  if (options.streamMode) {
    const StreamOutcome streamed = runStreamMode(console, effects.flash(), runFlags);
    status = exitStatus(streamed);
    // Without the image file the run stops before anything else.
    if (streamed.image == StreamImage::NotOpened) return status;
  }
  const UpgradeOutcome upgrade = runUpgrade(console, runFlags, effects);
  if (upgrade.changed) changed = true;
  if (changed) touchChangedMarker();
  if (runFlags & reinstall) {
    std::fputs("\n", stdout);
    std::fflush(stdout);
  }
  writePostlog(console, upgrade.log);
  return status;
}
