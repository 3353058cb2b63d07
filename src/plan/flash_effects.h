// The steps by which planning changes the flash: installing a package,
// removing one, writing a record without files and recording a package's
// state. The transactions decide and report; they change files only through
// one of these, so that a run can be planned through steps that change
// nothing.
#pragma once

#include "console/console.h"
#include "model/package.h"
#include "model/run_flags.h"
#include "pdb/database_writer.h"

class PartStream;

class FlashEffects {
 public:
  virtual ~FlashEffects() = default;

  // Installs the package whose header parts were read from stream, with the
  // contract of installPackage (which reports "installed ..." for a package
  // outside a bundle); false after a reported failure.
  virtual bool installPackage(Console& console, InstalledPackage& package, PartStream& stream,
                              RunFlags runFlags) = 0;
  // Removes the package's files and entry and clears its action, with the
  // contract of removePackage.
  virtual void removePackage(Console& console, InstalledPackage& package) = 0;
  // Writes the record of a package without files of its own (a bundle), with
  // the contract of registerPackage.
  virtual bool registerPackage(Console& console, InstalledPackage& package) = 0;
  // Record the package as disabled or enabled, with the contracts (and
  // results) of markDisabled and markEnabled.
  [[nodiscard]] virtual MarkResult markDisabled(InstalledPackage& package) = 0;
  [[nodiscard]] virtual MarkResult markEnabled(InstalledPackage& package) = 0;
};

// The device's steps: the installation, removal and database writers.
FlashEffects& deviceFlashEffects();
