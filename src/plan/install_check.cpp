#include "plan/install_check.h"

#include "install/flash_queries.h"
#include "plan/relations.h"

namespace {

// Whether an enabled package answers the dependency once package stands in
// place of the installed release of its name: that release answers nothing
// any more, and package itself may answer.
bool dependencyMet(Console& console, const Package& package, const Dependency& dependency) {
  if (isProviderOf(package, dependency)) return true;
  for (const InstalledPackage* provider : findProviders(console, dependency, false))
    if (!namesEqual(provider->name, package.name)) return true;
  return false;
}

}  // namespace

bool isBaseSystem(const Package& package) {
  return package.name == "system" || package.name.starts_with("corvane");
}

bool supportsSystem(Console& console, const Package& package, bool report) {
  const Version minimum = flashMinimumVersion();
  if (package.version < minimum) {
    if (report)
      console.error("omitting package %s: min Corvane version is %s",
                    nameVersionText(package).c_str(), versionText(minimum).c_str());
    return false;
  }
  if (package.version <= last256KEraseRelease && flashEraseSizeIs256K()) {
    if (report)
      console.warning("omitting package %s: it does not support current file system",
                      nameVersionText(package).c_str());
    return false;
  }
  return true;
}

namespace {

CheckResult compareWithInstalled(Console& console, const Package& package, bool inBundle,
                                 RunFlags flags, bool& reported) {
  const InstalledPackage* installed = console.packages.find(package.name);
  if (installed == nullptr) return 0;
  const int order = compareRelease(package, *installed);
  if (order > 0) return Upgrade;
  if (order < 0) {
    if (!(flags & allowDowngrade)) {
      console.warning("omitting package %s: newer package %s is already installed",
                      nameVersionText(package).c_str(), nameVersionText(*installed).c_str());
      reported = true;
    }
    return Older;
  }
  if (installed->bundle.name.empty() == inBundle) return BundleChange;
  if (!(flags & reinstall)) {
    console.warning("omitting package %s: it is already installed",
                    nameVersionText(package).c_str());
    reported = true;
  }
  return Same;
}

}  // namespace

CheckResult checkInstall(Console& console, const Package& package, bool inBundle, RunFlags flags) {
  bool reported = false;  // at most one refusal is reported per package
  CheckResult result = compareWithInstalled(console, package, inBundle, flags, reported);
  const std::string label = nameVersionText(package);

  if (isBaseSystem(package)) {
    const bool report = !reported && !(flags & quietRefusals);
    if (!supportsSystem(console, package, report)) {
      result |= Refused;
      reported = reported || report;
    }
  }

  if (!package.architecture.empty() && package.architecture != console.arch) {
    if (!reported && !(flags & quietRefusals)) {
      console.error("can not install %s: it is not made for %s, but for %s", label.c_str(),
                    console.arch.c_str(), package.architecture.c_str());
      reported = true;
    }
    result |= Refused;
  }

  for (const Dependency& d : package.deps) {
    if (dependencyMet(console, package, d)) continue;
    if (!reported && !(flags & quietRefusals)) {
      console.error("can not install %s: %s is not installed, but is required", label.c_str(),
                    dependencyText(d).c_str());
      reported = true;
    }
    result |= Refused;
    break;
  }

  if (const InstalledPackage* other = findConflicting(console, package)) {
    if (!reported && !(flags & quietConflicts))
      console.error("can not install %s: it conflicts with %s", label.c_str(),
                    nameVersionText(*other).c_str());
    result |= Conflicting;
  }
  return result;
}
