#include "plan/relations.h"

bool isPlaceholder(const Package& package) {
  return package.version == placeholderRelease && package.buildTime == placeholderRelease;
}

bool providesMatch(const Package& package, const Dependency& dependency) {
  for (const Dependency& entry : package.provides)
    if (rangesOverlap(entry, dependency)) return true;
  return false;
}

bool isProviderOf(const Package& record, const Dependency& dependency) {
  return !isPlaceholder(record) &&
         (satisfies(record, dependency) || providesMatch(record, dependency));
}

bool isOrContains(const Package& package, const std::string& name) {
  if (namesEqual(package.name, name)) return true;
  for (const auto& member : package.members)
    if (namesEqual(member->name, name)) return true;
  return false;
}

bool dependsOn(const Package& a, const Package& b) {
  for (const Dependency& d : a.deps)
    if (satisfies(b, d) || providesMatch(b, d)) return true;
  for (const auto& member : b.members)
    if (dependsOn(a, *member)) return true;
  for (const auto& member : a.members)
    if (dependsOn(*member, b)) return true;
  return false;
}

namespace {

const Dependency* providedNamed(const Package& package, const std::string& name) {
  for (const Dependency& entry : package.provides)
    if (namesEqual(entry.name, name)) return &entry;
  return nullptr;
}

}  // namespace

// The first rule that decides ends the evaluation:
//  1. placeholders conflict with nothing, in either role;
//  2. a names b (name and version range) among its conflicts;
//  3. b provides a's name: a conflict exactly when b's entry has a negative extra;
//  4. a provides b's name (conflict when extra >= 0), or both provide the same
//     name (conflict when a's extra is the larger), first entry of a decides;
//  5. a names something b provides among its conflicts;
//  6. b has a member called like a;
//  7. a member of a conflicts with b.
bool conflictsWith(const Package& a, const Package& b) {
  if (isPlaceholder(a) || isPlaceholder(b)) return false;
  for (const Dependency& c : a.conflicts)
    if (satisfies(b, c)) return true;
  if (const Dependency* entry = providedNamed(b, a.name)) return entry->extra < 0;
  for (const Dependency& entry : a.provides) {
    if (namesEqual(entry.name, b.name)) return entry.extra >= 0;
    if (const Dependency* other = providedNamed(b, entry.name)) return entry.extra > other->extra;
  }
  for (const Dependency& c : a.conflicts)
    if (providesMatch(b, c)) return true;
  for (const auto& member : b.members)
    if (namesEqual(member->name, a.name)) return true;
  for (const auto& member : a.members)
    if (conflictsWith(*member, b)) return true;
  return false;
}

int compareCandidates(const Package& a, const Package& b, bool olderWins) {
  const int order = compareRelease(a, b);
  return olderWins ? -order : order;
}

std::vector<InstalledPackage*> findProviders(Console& console, const Dependency& dependency,
                                             bool includeDisabled) {
  std::vector<InstalledPackage*> providers;
  for (const auto& record : console.packages) {
    if ((includeDisabled || !record->disabled) && isProviderOf(*record, dependency))
      providers.push_back(record.get());
  }
  return providers;
}

ProviderState groupState(const std::vector<InstalledPackage*>& providers) {
  bool remainsDisabled = false;
  for (const InstalledPackage* record : providers) {
    const ScheduledAction action = record->action;
    if (!record->disabled) {
      // An enabled record stays enabled unless it goes or is disabled; a
      // redundant "enable" does not make it count for less.
      if (action == ScheduledAction::None || action == ScheduledAction::Enable)
        return ProviderState::Active;
      if (action == ScheduledAction::Disable) remainsDisabled = true;
    } else {
      if (action == ScheduledAction::Enable) return ProviderState::Active;
      remainsDisabled = true;
    }
  }
  return remainsDisabled ? ProviderState::DisabledOnly : ProviderState::Gone;
}

InstalledPackage* findConflicting(Console& console, const Package& package) {
  for (const auto& record : console.packages)
    if (!record->disabled && conflictsWith(*record, package)) return record.get();
  return nullptr;
}

InstalledPackage* findActive(Console& console, const std::string& name) {
  const Dependency anyRelease{name, 0, 0, 0};
  InstalledPackage* lastDisabled = nullptr;
  for (const auto& record : console.packages) {
    if (!namesEqual(record->name, name) && !providesMatch(*record, anyRelease)) continue;
    if (!record->disabled) return record.get();
    lastDisabled = record.get();
  }
  return lastDisabled;
}
