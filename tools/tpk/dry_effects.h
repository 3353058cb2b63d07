// Steps that change nothing: an upgrade run planned through them decides and
// reports as the device's run would, on the assumption that every extraction,
// script and file step succeeds.
#pragma once

#include "plan/flash_effects.h"
#include "upgrade/upgrade_effects.h"

namespace tpk {

class DryEffects final : public FlashEffects, public UpgradeEffects {
 public:
  // Walks the package's remaining parts up to the next package and reports
  // "installed ..." as an installation does; nothing is extracted or written.
  InstallStep installPackage(Console& console, InstalledPackage& package, PartStream& stream,
                             RunFlags runFlags, const InstalledPackage* old) override;
  void removePackage(Console& console, InstalledPackage& package) override;
  InstallStep registerBundle(Console&, InstalledPackage&, const InstalledPackage*,
                             const std::set<std::string>&) override {
    return InstallStep::Done;
  }
  MarkResult markDisabled(InstalledPackage& package) override;
  MarkResult markEnabled(InstalledPackage& package) override;

  FlashEffects& flash() override { return *this; }
  void consumeSchedules() override {}
  void dropDowngradeMarker(Console&) override {}
  // Leaves every candidate where it was found. On the device the RAM budget
  // decides only where a file waits while it is installed, never what is
  // installed or reported, so no memory statistics are read: neither this
  // machine's nor any below the root planned for.
  Candidates stageInRam(Candidates& candidates, RunFlags) override;
  PostlogSpace reserveLog(Console&) override { return PostlogSpace::Unreserved; }
  ImageKeep keepImage(Console&, const PackageFile&, bool) override { return ImageKeep::Kept; }
  void keepForLater(Console&, const PackageFile&) override { ++kept; }
  void dropInstalledFile(const PackageFile&) override {}
  void dropRamMoves() override {}
  void halt() override { halted = true; }
  void installationBegins(const PackageFile&) override {}
  void installationEnds() override {}

  // Package files the run would leave in place, not installed.
  int kept = 0;
  // Whether the run would leave the device without any package.
  bool halted = false;
};

}  // namespace tpk
