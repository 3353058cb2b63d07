#include "upgrade/upgrade_run.h"

#include <sys/stat.h>

#include <set>

#include "files/own_file.h"
#include "plan/candidate_order.h"
#include "plan/relations.h"
#include "plan/scheduled_actions.h"
#include "plan/transaction.h"
#include "upgrade/staging.h"

namespace {

// The states the user forced, and every name an enabled package answers to.
void takeStock(const Console& console, UserStates& userStates, std::set<std::string>& available) {
  for (const auto& record : console.packages) {
    if (record->userForced) userStates[record->name] = record->disabled ? 1 : 0;
    if (record->disabled) continue;
    available.insert(record->name);
    for (const Dependency& provided : record->provides) available.insert(provided.name);
  }
}

// Installs one candidate; the file goes when it was installed and stays for
// a later run when not.
void install(Console& console, UpgradeEffects& effects, PackageFile& file, RunFlags runFlags,
             const UserStates& userStates) {
  const UpgradeEffects::Installing installing(effects, file);
  bool withBootImage = false;
  const bool installed = installFromStream(console, effects.flash(), file, runFlags, userStates,
                                           nullptr, &withBootImage) == InstallOutcome::Installed;
  if (!installed) {
    effects.keepForLater(console, file);
    return;
  }
  if (file.isImage && effects.keepImage(console, file, withBootImage) == ImageKeep::FileStays)
    return;
  effects.dropInstalledFile(file);
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

PlanRun applySchedules(Console& console, UpgradeEffects& effects) {
  const PlanRun applied = applyScheduledActions(console, effects.flash(), 1);
  effects.consumeSchedules();
  return applied;
}

UpgradeOutcome runUpgrade(Console& console, RunFlags runFlags, UpgradeEffects& effects,
                          const std::vector<GivenFile>* given) {
  struct stat marker;
  if (statOwnFile("/rw/DOWNGRADE", marker)) {
    runFlags |= allowDowngrade;
    effects.dropDowngradeMarker(console);
  }
  Candidates candidates;
  if (given != nullptr) {
    examineGivenFiles(console, *given, candidates);
  } else {
    if (runFlags & reinstall) scanStagingDir(console, "/ram/", candidates);
    scanStagingDir(console, "/flash/rw/pckg/", candidates);
    if (candidates.empty()) scanStagingDir(console, "/flash/var/pckg/", candidates);
  }
  orderCandidates(console, candidates, (runFlags & allowDowngrade) != 0, true);

  UserStates userStates;
  std::set<std::string> available;
  takeStock(console, userStates, available);
  Candidates installList = effects.stageInRam(candidates, runFlags);
  UpgradeOutcome outcome;
  if (!installList.empty()) outcome.log = effects.reserveLog(console);
  for (auto& file : installList) install(console, effects, *file, runFlags, userStates);
  // Every moved file was installed or went back where it was found.
  effects.dropRamMoves();

  const std::vector<InstalledPackage*> lost = lostProviders(console, available);
  executeEnables(console, effects.flash(), lost, 1);
  if (console.packages.empty()) effects.halt();
  outcome.changed = !installList.empty() || !lost.empty();
  return outcome;
}
