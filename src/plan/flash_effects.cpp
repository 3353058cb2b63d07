#include "plan/flash_effects.h"

#include "install/package_install.h"
#include "install/package_removal.h"

InstallStep DeviceFlashEffects::installPackage(Console& console, InstalledPackage& package,
                                               PartStream& stream, RunFlags runFlags,
                                               const InstalledPackage* old) {
  return ::installPackage(console, package, stream, runFlags, old, staged_);
}

void DeviceFlashEffects::removePackage(Console& console, InstalledPackage& package) {
  ::removePackage(console, package);
}

InstallStep DeviceFlashEffects::registerBundle(Console& console, InstalledPackage& bundle,
                                               const InstalledPackage* old,
                                               const std::set<std::string>& replaced) {
  return ::registerBundle(console, bundle, old, replaced, staged_);
}

MarkResult DeviceFlashEffects::markDisabled(InstalledPackage& package) {
  return noted(::markDisabled(package));
}

MarkResult DeviceFlashEffects::markEnabled(InstalledPackage& package) {
  return noted(::markEnabled(package));
}

MarkResult DeviceFlashEffects::noted(MarkResult result) {
  if (result == MarkResult::NoEntry || result == MarkResult::NotWritten) stateLost_ = true;
  return result;
}
