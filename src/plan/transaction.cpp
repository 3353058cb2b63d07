#include "plan/transaction.h"

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "pdb/install_messages.h"
#include "pdb/package_dir.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/regular_file.h"
#include "plan/install_check.h"
#include "plan/scheduled_actions.h"

namespace {

// What every step of one installation works with.
struct Installation {
  Console& console;
  FlashEffects& effects;
  RunFlags runFlags;
  const UserStates& userStates;
};

// What installing one package came to: the installed record (or, for a
// release that counts as installed, the installed one), or null; failed when
// the installation began and failed, leaving the stream inside the package;
// bootImage whether the record carries the boot image.
struct OneInstalled {
  InstalledPackage* record = nullptr;
  bool failed = false;
  bool bootImage = false;
};

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
bool execute(Console& console, FlashEffects& effects, const RecordList& removals,
             const RecordList& enables, int report) {
  executeRemovals(console, effects, removals, report);
  executeEnables(console, effects, enables, report);
  return !removals.empty() || !enables.empty();
}

// Plans with the record about to be installed standing in the set, and takes
// the state it is installed in from that plan: disabled when the plan disables
// it. It is never uninstalled, and nothing is carried out on it but an
// enabling; the rest of the plan is carried out.
void planAround(const Installation& run, InstalledPackage& coming) {
  RecordList removals, enables;
  planActions(run.console, removals, enables, 1);
  if (coming.action == ScheduledAction::Disable) coming.disabled = true;
  spare(removals, coming);
  execute(run.console, run.effects, removals, enables, 1);
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
void restoreBundle(const Installation& run, const std::string& name,
                   std::unique_ptr<InstalledPackage> old) {
  Console& console = run.console;
  const int index = console.packages.findIndex(name);
  if (index >= 0) console.packages.take(static_cast<std::size_t>(index));
  if (old) console.packages.append(std::move(old));
}

}  // namespace

PlanRun applyScheduledActions(Console& console, FlashEffects& effects, int report,
                              InstalledPackage* keep) {
  RecordList removals, enables;
  planActions(console, removals, enables, report);
  if (keep != nullptr) spare(removals, *keep);
  return execute(console, effects, removals, enables, report) ? PlanRun::Executed : PlanRun::Empty;
}

PlanRun cleanup(Console& console, FlashEffects& effects) {
  (void)applyScheduledActions(console, effects, 0);
  for (const auto& record : console.packages) {
    const std::string& name = record->name;
    if (name == "lumex" || name == "disk-drivers" || name == "system" || record->isBundle) continue;
    const bool madeForThisSystem =
        std::any_of(record->deps.begin(), record->deps.end(), [](const Dependency& d) {
          return d.name == "system" && d.min > 0x031665FF;  // at least 3.22 final
        });
    if (!madeForThisSystem) record->action = ScheduledAction::Uninstall;
  }
  return applyScheduledActions(console, effects, 1);
}

DropResult dropInstalled(Console& console, FlashEffects& effects, const std::string& name) {
  const int index = console.packages.findIndex(name);
  if (index < 0) return DropResult::NotInstalled;
  effects.removePackage(console, console.packages[static_cast<std::size_t>(index)]);
  console.packages.take(static_cast<std::size_t>(index));
  return DropResult::Dropped;
}

namespace {

// A package read from its header parts and checked against the installed set.
struct Checked {
  std::unique_ptr<InstalledPackage> package;
  CheckResult result = 0;
  bool goesAhead = false;
};

// Reads the header parts on stream and checks the package, taking the state
// the user forced on its name and installing it disabled when it conflicts
// with an enabled package. False when the header cannot be read.
bool readAndCheck(const Installation& run, PartStream& stream, const Dependency* bundle,
                  std::string* imageDir, Checked& checked) {
  auto& package = checked.package;
  package = std::make_unique<InstalledPackage>();
  if (readHeaderParts(*package, stream) != ReadResult::Read) return false;
  if (package->isImage && imageDir != nullptr) *imageDir = packageDir(*package);
  const bool inBundle = bundle != nullptr;
  checked.result = checkInstall(run.console, *package, inBundle,
                                inBundle ? 0xFFFFFFFFu : run.runFlags | quietConflicts);
  const auto state = run.userStates.find(package->name);
  if (state != run.userStates.end()) {
    package->disabled = state->second != 0;
    package->userForced = true;
  }
  if (checked.result & Conflicting) {
    // A package that conflicts with an enabled one is installed disabled.
    checked.result &= ~CheckResult(Conflicting);
    package->disabled = true;
  }
  checked.goesAhead =
      (checked.result & ~(run.runFlags | BundleChange)) == 0 && !(checked.result & Same);
  if (checked.goesAhead && inBundle) package->bundle = *bundle;
  return true;
}

// Lets the planner see the new release in place of the old one (unless only
// its bundle membership changes) and carries the plan out; hands the new
// record back for installing, and the old one, which goes only once the new
// release is committed.
std::unique_ptr<InstalledPackage> planAroundNew(const Installation& run, Checked& checked,
                                                std::unique_ptr<InstalledPackage>& old) {
  Console& console = run.console;
  const int index = console.packages.findIndex(checked.package->name);
  if (index >= 0) old = console.packages.take(static_cast<std::size_t>(index));
  InstalledPackage* planned = checked.package.get();
  console.packages.append(std::move(checked.package));
  if (!(checked.result & BundleChange)) planAround(run, *planned);
  return takeOut(console.packages, planned);
}

// Adds the installed record to the set and settles the scheduled actions
// around it: the record stays as it was installed, and so does the bundle of
// a member while the other members go in (what is still missing may come with
// them; the bundle's last plan settles them).
InstalledPackage* addBackAndSettle(const Installation& run,
                                   std::unique_ptr<InstalledPackage> package) {
  InstalledPackage* installed = package.get();
  run.console.packages.append(std::move(package));
  (void)applyScheduledActions(run.console, run.effects, 0, installed);
  return installed;
}

// The package does not go in: a member leaves the stream at the next member
// and counts as its installed release; a release already installed counts as
// installed again in a reinstalling run.
InstalledPackage* passOver(const Installation& run, PartStream& stream, const Checked& checked,
                           bool inBundle) {
  Console& console = run.console;
  const InstalledPackage& package = *checked.package;
  if (inBundle) {
    while (stream.currentType() != partPackage && stream.currentType() != -1) stream.next();
    return console.packages.find(package.name);
  }
  if (!(run.runFlags & reinstall) || !(checked.result & Same)) return nullptr;
  console.setStatus(std::string(78, ' '));
  console.setStatus("");
  reportInstalled(console, package);
  return console.packages.find(package.name);
}

// Installs the package whose header part is current on stream: read and
// check, plan around the new record, install, add back and settle. bundle is
// the bundle dependency of a member, else null; imageDir as for
// installFromStream.
OneInstalled installOne(const Installation& run, PartStream& stream, const Dependency* bundle,
                        std::string* imageDir) {
  OneInstalled one;
  Checked checked;
  if (!readAndCheck(run, stream, bundle, imageDir, checked)) return one;
  if (!checked.goesAhead) {
    one.record = passOver(run, stream, checked, bundle != nullptr);
    // A member passed over brings no boot image of its own.
    one.bootImage = bundle == nullptr && one.record != nullptr && (one.record->flags & bootImage);
    return one;
  }
  std::unique_ptr<InstalledPackage> old;
  std::unique_ptr<InstalledPackage> package =
      stream.isAlternateMagic() ? std::move(checked.package) : planAroundNew(run, checked, old);
  one.failed = !package || run.effects.installPackage(run.console, *package, stream, run.runFlags,
                                                      old.get()) == InstallStep::Failed;
  if (one.failed) {
    if (old) run.console.packages.append(std::move(old));
    return one;
  }
  one.record = addBackAndSettle(run, std::move(package));
  one.bootImage = (one.record->flags & bootImage) != 0;
  return one;
}

// Installs the members of the bundle, whose first header part is current on
// stream, up to the first that fails; each one installed leaves oldMembers.
// The number installed, or -1 when a member failed.
int installMembers(const Installation& run, PartStream& stream, const Dependency& bundle,
                   std::set<std::string>& oldMembers, bool* withBootImage) {
  int installed = 0;
  while (stream.currentType() == partPackage) {
    const std::uint32_t headerOffset = stream.partOffset();
    const OneInstalled member = installOne(run, stream, &bundle, nullptr);
    if (member.failed) return -1;
    if (member.record == nullptr) {
      // A member whose header cannot be read leaves the stream where it was.
      if (stream.currentType() == partPackage && stream.partOffset() == headerOffset) break;
      continue;
    }
    ++installed;
    oldMembers.erase(member.record->name);
    if (member.bootImage && withBootImage != nullptr) *withBootImage = true;
  }
  return installed;
}

// Installs the bundle whose header part is current on stream, read from file;
// the outcomes of installFromStream.
InstallOutcome installBundle(const Installation& run, PartStream& stream, const PackageFile& file,
                             std::string* imageDir, bool* withBootImage) {
  Console& console = run.console;
  if (withBootImage != nullptr) *withBootImage = false;
  auto bundle = std::make_unique<InstalledPackage>();
  if (readHeaderParts(*bundle, stream) != ReadResult::Read) return InstallOutcome::NotInstalled;
  if (stream.currentType() == partImage) stream.next();
  if (bundle->isImage && imageDir != nullptr) *imageDir = packageDir(*bundle);
  if (!file.bound) {
    // Anyone holding the bundle could have written these parts.
    if (replacesPackage(console, *bundle)) return InstallOutcome::Refused;
    bundle->flags = 0;
    bundle->deps.clear();
    bundle->conflicts.clear();
  }
  if (checkInstall(console, *bundle, false, run.runFlags) & ~run.runFlags)
    return InstallOutcome::Refused;
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
    (void)readListPart(stream, disabledByDefault);  // the entries read are used
    for (const Dependency& entry : disabledByDefault)
      if (run.userStates.count(entry.name) == 0 && (file.bound || isMember(file, entry.name)))
        console.packages.append(disablingRecord(entry.name));
    stream.next();
  }
  const int installed = installMembers(run, stream, bundleDependency, oldMembers, withBootImage);
  if (installed <= 0) {
    restoreBundle(run, bundleDependency.name, std::move(old));
    return installed < 0 ? InstallOutcome::MemberFailed : InstallOutcome::NoMemberInstalled;
  }
  InstalledPackage* written = console.packages.find(bundleDependency.name);
  if (written == nullptr ||
      run.effects.registerBundle(console, *written, old.get(), oldMembers) == InstallStep::Failed) {
    restoreBundle(run, bundleDependency.name, std::move(old));
    return InstallOutcome::NotInstalled;
  }
  for (const std::string& name : oldMembers)
    if (InstalledPackage* record = console.packages.find(name))
      record->action = ScheduledAction::Uninstall;
  (void)applyScheduledActions(console, run.effects, 0);
  console.setStatus("");
  console.info("installed %s", dependencyText(bundleDependency).c_str());
  return InstallOutcome::Installed;
}

}  // namespace

void wantInstalledParts(PartStream& stream) {
  stream.wanted = {partPackage,      partBundle,        partDisabledMembers, partArchitecture,
                   partDependencies, partProvides,      partConflicts,       partImage,
                   partFileTree,     partInstallScript, partUninstallScript, partSignature};
}

InstallOutcome installFromStream(Console& console, FlashEffects& effects, const PackageFile& file,
                                 RunFlags runFlags, const UserStates& userStates,
                                 std::string* imageDir, bool* withBootImage) {
  RegularFileStream input(file.descriptor);
  PartStream stream(input, true);
  wantInstalledParts(stream);
  stream.next();
  const Installation run{console, effects, runFlags, userStates};
  if (stream.currentType() == partBundle)
    return installBundle(run, stream, file, imageDir, withBootImage);
  const OneInstalled one = installOne(run, stream, nullptr, imageDir);
  if (one.record == nullptr) return InstallOutcome::NotInstalled;
  if (withBootImage != nullptr) *withBootImage = one.bootImage;
  return InstallOutcome::Installed;
}
