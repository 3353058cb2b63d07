#include "plan/transaction.h"

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "install/package_install.h"
#include "install/package_removal.h"
#include "pdb/package_dir.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/regular_file.h"
#include "plan/install_check.h"
#include "plan/scheduled_actions.h"

namespace {

// The index of this very record in the installed set, or -1.
int indexOf(const PackageDb& packages, const InstalledPackage* record) {
  for (std::size_t i = 0; i < packages.size(); ++i)
    if (&packages[i] == record) return static_cast<int>(i);
  return -1;
}

// Takes this very record out of the installed set, handing back ownership.
std::unique_ptr<InstalledPackage> takeOut(PackageDb& packages, const InstalledPackage* record) {
  const int index = indexOf(packages, record);
  if (index < 0) return nullptr;
  return packages.take(static_cast<std::size_t>(index));
}

// A transient record that makes every package of name conflict while a
// bundle lists it as disabled by default; it is never written.
std::unique_ptr<InstalledPackage> disablingRecord(const std::string& name) {
  auto record = std::make_unique<InstalledPackage>();
  Dependency conflict;
  conflict.name = name;
  record->conflicts.push_back(conflict);
  return record;
}

// Cancels the disabling or uninstallation of record, and of the bundle it goes
// into while that bundle's members go in.
void spare(RecordList& removals, const InstalledPackage& record) {
  const auto spared = [&record](const InstalledPackage* other) {
    return other == &record || (!record.bundle.name.empty() && other->isBundle &&
                                namesEqual(other->name, record.bundle.name));
  };
  for (InstalledPackage* other : removals)
    if (spared(other)) other->action = ScheduledAction::None;
  std::erase_if(removals, spared);
}

// Carries out a settled plan; whether it held anything.
bool execute(Console& console, const RecordList& removals, const RecordList& enables, int report) {
  executeRemovals(console, removals, report);
  executeEnables(console, enables, report);
  return !removals.empty() || !enables.empty();
}

// Plans with the record about to be installed standing in the set, and takes
// the state it is installed in from that plan: disabled when the plan disables
// it. It is never uninstalled, and nothing is carried out on it but an
// enabling; the rest of the plan is carried out.
void planAround(Console& console, InstalledPackage& coming) {
  RecordList removals, enables;
  planActions(console, removals, enables, 1);
  if (coming.action == ScheduledAction::Disable) coming.disabled = true;
  spare(removals, coming);
  execute(console, removals, enables, 1);
}

// Whether an installed record of the bundle's name is not a bundle, which a
// bundle whose own parts are unbound may not replace; reported.
bool replacesPackage(Console& console, const Package& bundle) {
  for (const auto& record : console.packages) {
    if (record->isBundle || !namesEqual(record->name, bundle.name)) continue;
    console.error("installation of %s failed: %s is installed and is not a bundle",
                  nameVersionText(bundle).c_str(), nameVersionText(*record).c_str());
    return true;
  }
  return false;
}

bool isMember(const PackageFile& file, const std::string& name) {
  return std::any_of(file.members.begin(), file.members.end(),
                     [&name](const auto& member) { return namesEqual(member->name, name); });
}

// After the bundle named name failed to install: the new release's record,
// never written, goes, and old, the record the bundle had before and whose
// entry stayed, comes back.
void restoreBundle(Console& console, const std::string& name,
                   std::unique_ptr<InstalledPackage> old) {
  const int index = console.packages.findIndex(name);
  if (index >= 0) console.packages.take(static_cast<std::size_t>(index));
  if (old) console.packages.append(std::move(old));
}

}  // namespace

bool applyScheduledActions(Console& console, int report, InstalledPackage* keep) {
  RecordList removals, enables;
  planActions(console, removals, enables, report);
  if (keep != nullptr) spare(removals, *keep);
  return execute(console, removals, enables, report);
}

bool cleanup(Console& console) {
  applyScheduledActions(console, 0);
  for (const auto& record : console.packages) {
    const std::string& name = record->name;
    if (name == "lumex" || name == "disk-drivers" || name == "system" || record->isBundle) continue;
    const bool madeForThisSystem =
        std::any_of(record->deps.begin(), record->deps.end(), [](const Dependency& d) {
          return d.name == "system" && d.min > 0x031665FF;  // at least 3.22 final
        });
    if (!madeForThisSystem) record->action = ScheduledAction::Uninstall;
  }
  return applyScheduledActions(console, 1);
}

bool dropInstalled(Console& console, const std::string& name) {
  const int index = console.packages.findIndex(name);
  if (index < 0) return false;
  removePackage(console, console.packages[static_cast<std::size_t>(index)]);
  console.packages.take(static_cast<std::size_t>(index));
  return true;
}

InstalledPackage* installOne(Console& console, PartStream& stream, RunFlags runFlags,
                             const UserStates& userStates, const Dependency* bundle,
                             std::string* imageDir, bool* withBootImage, bool* failed) {
  auto package = std::make_unique<InstalledPackage>();
  if (!readHeaderParts(*package, stream)) return nullptr;
  if (package->isImage && imageDir != nullptr) *imageDir = packageDir(*package);
  const bool inBundle = bundle != nullptr;
  std::uint32_t result =
      checkInstall(console, *package, inBundle, inBundle ? 0xFFFFFFFFu : runFlags | quietConflicts);
  const auto state = userStates.find(package->name);
  if (state != userStates.end()) {
    package->disabled = state->second != 0;
    package->userForced = true;
  }
  if (result & Conflicting) {
    // A package that conflicts with an enabled one is installed disabled.
    result &= ~std::uint32_t(Conflicting);
    package->disabled = true;
  }
  const bool goesAhead = (result & ~(runFlags | BundleChange)) == 0 && !(result & Same);
  if (goesAhead) {
    if (inBundle) package->bundle = *bundle;
    std::unique_ptr<InstalledPackage> old;
    if (!stream.isAlternateMagic()) {
      // The planner sees the new release in place of the old one.
      const int index = console.packages.findIndex(package->name);
      if (index >= 0) old = console.packages.take(static_cast<std::size_t>(index));
      InstalledPackage* planned = package.get();
      console.packages.append(std::move(package));
      if (!(result & BundleChange)) planAround(console, *planned);
      package = takeOut(console.packages, planned);
    }
    // The old release goes only once the new one is committed.
    if (!package || !installPackage(console, *package, stream, runFlags, old.get())) {
      if (old) console.packages.append(std::move(old));
      if (failed != nullptr) *failed = true;
      return nullptr;
    }
    InstalledPackage* installed = package.get();
    console.packages.append(std::move(package));
    // The record stays as it was installed, and so does the bundle of a
    // member while the other members go in: what is still missing may come
    // with them. The bundle's last plan settles them.
    applyScheduledActions(console, 0, installed);
    if (withBootImage != nullptr) *withBootImage = (installed->flags & bootImage) != 0;
    return installed;
  }
  if (inBundle) {
    while (stream.currentType() != partPackage && stream.currentType() != -1) stream.next();
    return console.packages.find(package->name);
  }
  if ((runFlags & reinstall) && (result & Same)) {
    console.setStatus(std::string(78, ' '));
    console.setStatus("");
    console.info("installed %s%s", package->disabled ? "(disabled) " : "",
                 nameVersionText(*package).c_str());
    InstalledPackage* installed = console.packages.find(package->name);
    if (withBootImage != nullptr && installed != nullptr)
      *withBootImage = (installed->flags & bootImage) != 0;
    return installed;
  }
  return nullptr;
}

namespace {

// Installs the members of the bundle, whose first header part is current on
// stream, up to the first that fails; each one installed leaves oldMembers.
// The number installed, or -1 when a member failed.
int installMembers(Console& console, PartStream& stream, RunFlags runFlags,
                   const UserStates& userStates, const Dependency& bundle,
                   std::set<std::string>& oldMembers, bool* withBootImage) {
  int installed = 0;
  while (stream.currentType() == partPackage) {
    const std::uint32_t headerOffset = stream.partOffset();
    bool memberBootImage = false;
    bool failed = false;
    InstalledPackage* member = installOne(console, stream, runFlags, userStates, &bundle, nullptr,
                                          &memberBootImage, &failed);
    if (failed) return -1;
    if (member == nullptr) {
      // A member whose header cannot be read leaves the stream where it was.
      if (stream.currentType() == partPackage && stream.partOffset() == headerOffset) break;
      continue;
    }
    ++installed;
    oldMembers.erase(member->name);
    if (memberBootImage && withBootImage != nullptr) *withBootImage = true;
  }
  return installed;
}

}  // namespace

InstallOutcome installBundle(Console& console, PartStream& stream, const PackageFile& file,
                             RunFlags runFlags, const UserStates& userStates, std::string* imageDir,
                             bool* withBootImage) {
  if (withBootImage != nullptr) *withBootImage = false;
  auto bundle = std::make_unique<InstalledPackage>();
  if (!readHeaderParts(*bundle, stream)) return InstallOutcome::NotInstalled;
  if (stream.currentType() == partImage) stream.next();
  if (bundle->isImage && imageDir != nullptr) *imageDir = packageDir(*bundle);
  if (!file.bound) {
    // Anyone holding the bundle could have written these parts.
    if (replacesPackage(console, *bundle)) return InstallOutcome::Refused;
    bundle->flags = 0;
    bundle->deps.clear();
    bundle->conflicts.clear();
  }
  if (checkInstall(console, *bundle, false, runFlags) & ~runFlags) return InstallOutcome::Refused;
  // The old record's entry stays until every member is in, so that a run cut
  // short on the way is retried; the whole record replaces it once they are.
  std::unique_ptr<InstalledPackage> old;
  const int oldIndex = console.packages.findIndex(bundle->name);
  if (oldIndex >= 0) old = console.packages.take(static_cast<std::size_t>(oldIndex));

  Dependency bundleDependency;
  bundleDependency.name = bundle->name;
  bundleDependency.min = bundle->version;
  bundleDependency.max = bundle->version;
  const int stale = console.packages.findIndex(bundle->name);
  if (stale >= 0) console.packages.take(static_cast<std::size_t>(stale));
  console.packages.append(std::move(bundle));

  std::set<std::string> oldMembers;
  for (const auto& record : console.packages)
    if (namesEqual(record->bundle.name, bundleDependency.name)) oldMembers.insert(record->name);

  if (stream.currentType() == partDisabledMembers) {
    std::vector<Dependency> disabledByDefault;
    readListPart(stream, disabledByDefault);
    for (const Dependency& entry : disabledByDefault)
      if (userStates.count(entry.name) == 0 && (file.bound || isMember(file, entry.name)))
        console.packages.append(disablingRecord(entry.name));
    stream.next();
  }
  const int installed = installMembers(console, stream, runFlags, userStates, bundleDependency,
                                       oldMembers, withBootImage);
  if (installed <= 0) {
    restoreBundle(console, bundleDependency.name, std::move(old));
    return installed < 0 ? InstallOutcome::MemberFailed : InstallOutcome::NoMemberInstalled;
  }
  InstalledPackage* written = console.packages.find(bundleDependency.name);
  if (written == nullptr || !registerBundle(console, *written, old.get(), oldMembers)) {
    restoreBundle(console, bundleDependency.name, std::move(old));
    return InstallOutcome::NotInstalled;
  }
  for (const std::string& name : oldMembers)
    if (InstalledPackage* record = console.packages.find(name))
      record->action = ScheduledAction::Uninstall;
  applyScheduledActions(console, 0);
  console.setStatus("");
  console.info("installed %s", dependencyText(bundleDependency).c_str());
  return InstallOutcome::Installed;
}

void wantInstalledParts(PartStream& stream) {
  stream.wanted = {partPackage,      partBundle,        partDisabledMembers, partArchitecture,
                   partDependencies, partProvides,      partConflicts,       partImage,
                   partFileTree,     partInstallScript, partUninstallScript, partSignature};
}

InstallOutcome installFromStream(Console& console, const PackageFile& file, RunFlags runFlags,
                                 const UserStates& userStates, std::string* imageDir,
                                 bool* withBootImage) {
  RegularFileStream input(file.descriptor);
  PartStream stream(input, true);
  wantInstalledParts(stream);
  stream.next();
  if (stream.currentType() == partBundle)
    return installBundle(console, stream, file, runFlags, userStates, imageDir, withBootImage);
  if (installOne(console, stream, runFlags, userStates, nullptr, imageDir, withBootImage) ==
      nullptr)
    return InstallOutcome::NotInstalled;
  return InstallOutcome::Installed;
}
