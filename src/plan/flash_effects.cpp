#include "plan/flash_effects.h"

#include "install/package_install.h"
#include "install/package_removal.h"

namespace {

class DeviceFlashEffects final : public FlashEffects {
 public:
  bool installPackage(Console& console, InstalledPackage& package, PartStream& stream,
                      RunFlags runFlags) override {
    return ::installPackage(console, package, stream, runFlags);
  }
  void removePackage(Console& console, InstalledPackage& package) override {
    ::removePackage(console, package);
  }
  bool registerPackage(Console& console, InstalledPackage& package) override {
    return ::registerPackage(console, package);
  }
  MarkResult markDisabled(InstalledPackage& package) override { return ::markDisabled(package); }
  MarkResult markEnabled(InstalledPackage& package) override { return ::markEnabled(package); }
};

}  // namespace

FlashEffects& deviceFlashEffects() {
  static DeviceFlashEffects effects;
  return effects;
}
