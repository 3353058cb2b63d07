// The steps by which planning changes the flash: installing a package,
// removing one, writing a record without files and recording a package's
// state. The transactions decide and report; they change files only through
// one of these, so that a run can be planned through steps that change
// nothing.
#pragma once

#include <set>
#include <string>

#include "console/console.h"
#include "install/install_step.h"
#include "install/journal.h"
#include "model/package.h"
#include "model/run_flags.h"
#include "pdb/database_writer.h"

class PartStream;

class FlashEffects {
 public:
  virtual ~FlashEffects() = default;

  // Installs the package whose header parts were read from stream in place of
  // old (the installed release, when given), with the contract of
  // installPackage (which reports "installed ..." for a package outside a
  // bundle); Failed after a reported failure, old then as it was.
  [[nodiscard]] virtual InstallStep installPackage(Console& console, InstalledPackage& package,
                                                   PartStream& stream, RunFlags runFlags,
                                                   const InstalledPackage* old) = 0;
  // Removes the package's files and entry and clears its action, with the
  // contract of removePackage.
  virtual void removePackage(Console& console, InstalledPackage& package) = 0;
  // Writes the record of a bundle whose members are in, in place of old, with
  // the contract of registerBundle.
  [[nodiscard]] virtual InstallStep registerBundle(Console& console, InstalledPackage& bundle,
                                                   const InstalledPackage* old,
                                                   const std::set<std::string>& replaced) = 0;
  // Record the package as disabled or enabled, with the contracts (and
  // results) of markDisabled and markEnabled.
  [[nodiscard]] virtual MarkResult markDisabled(InstalledPackage& package) = 0;
  [[nodiscard]] virtual MarkResult markEnabled(InstalledPackage& package) = 0;
};

// The device's steps: the installation, removal and database writers. It
// notes a state that could not be recorded, so that the run keeps the
// schedule files that asked for it.
class DeviceFlashEffects final : public FlashEffects {
 public:
  [[nodiscard]] InstallStep installPackage(Console& console, InstalledPackage& package,
                                           PartStream& stream, RunFlags runFlags,
                                           const InstalledPackage* old) override;
  void removePackage(Console& console, InstalledPackage& package) override;
  [[nodiscard]] InstallStep registerBundle(Console& console, InstalledPackage& bundle,
                                           const InstalledPackage* old,
                                           const std::set<std::string>& replaced) override;
  [[nodiscard]] MarkResult markDisabled(InstalledPackage& package) override;
  [[nodiscard]] MarkResult markEnabled(InstalledPackage& package) override;

  // Whether every state these steps recorded reached its entry.
  bool everyStateRecorded() const { return !stateLost_; }
  // The installation from a staged file that the following installations and
  // bundle records belong to (none when null): their commit records name its
  // file. staged stays alive until it is replaced.
  // What the apply of the journal naming its file left is noted in staged.
  void installFrom(StagedInstall* staged) { staged_ = staged; }

 private:
  MarkResult noted(MarkResult result);
  bool stateLost_ = false;
  StagedInstall* staged_ = nullptr;
};
