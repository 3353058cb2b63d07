#include "tpk/dry_effects.h"

#include "pdb/install_messages.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/part_type.h"

namespace tpk {

InstallStep DryEffects::installPackage(Console& console, InstalledPackage& package,
                                       PartStream& stream, RunFlags, const InstalledPackage*) {
  while (stream.currentType() != partPackage && stream.currentType() != -1) stream.next();
  reportInstalled(console, package);
  return InstallStep::Done;
}

void DryEffects::removePackage(Console&, InstalledPackage& package) {
  package.files.clear();
  package.action = ScheduledAction::None;
}

MarkResult DryEffects::markDisabled(InstalledPackage& package) {
  package.disabled = true;
  package.action = ScheduledAction::None;
  return MarkResult::Recorded;
}

MarkResult DryEffects::markEnabled(InstalledPackage& package) {
  package.disabled = false;
  package.action = ScheduledAction::None;
  return MarkResult::Recorded;
}

Candidates DryEffects::stageInRam(Candidates& candidates, RunFlags) {
  return std::move(candidates);
}

}  // namespace tpk
