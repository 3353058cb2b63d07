#include "plan/scheduled_actions.h"

#include <cstdint>
#include <utility>

#include "install/package_removal.h"
#include "pdb/database_writer.h"
#include "plan/candidate_order.h"
#include "plan/relations.h"

namespace {

using Action = ScheduledAction;

const char* actionWord(Action action) {
  switch (action) {
    case Action::Uninstall: return "uninstall";
    case Action::Enable: return "enable";
    case Action::Disable: return "disable";
    case Action::None: break;
  }
  return "";
}

// Enabled with no action, or scheduled for enabling.
bool willBeEnabled(const InstalledPackage& record) {
  return record.action == Action::Enable || (!record.disabled && record.action == Action::None);
}

// Enabled with no action, or disabled and scheduled for enabling.
bool narrowlyActive(const InstalledPackage& record) {
  return record.disabled ? record.action == Action::Enable : record.action == Action::None;
}

class Planner {
public:
  Planner(Console& console, int report) : console_(console), db_(console.packages), report_(report) {}

  void followBundles();
  void keepDependencies(InstalledPackage& record);
  void keepNeeded(InstalledPackage& provider, const InstalledPackage& dependent);
  void resolveEnableConflicts(InstalledPackage& record);
  void dropUnsatisfied();
  void settleBundles();
  bool anyWillBeEnabled() const;

private:
  void setAction(InstalledPackage& record, Action action) {
    if (record.action != action) ++changes_;
    record.action = action;
  }
  // The provider to keep for a dependency none of whose providers is active:
  // the last one after ordering, so the best release that others lean on.
  InstalledPackage& providerToKeep(RecordList providers);

  Console& console_;
  const PackageDb& db_;
  int report_;
  // For cutting a walk that would repeat itself for ever: a record whose
  // dependencies are already being kept, and the number of action changes made
  // when that began. Meeting it again with no change made since can only
  // repeat the same walk (a bundle that names itself, say).
  std::vector<std::pair<const InstalledPackage*, std::uint64_t>> walking_;
  std::uint64_t changes_ = 0;
};

void Planner::followBundles() {
  for (const auto& member : db_) {
    if (member->bundle.name.empty()) continue;
    const InstalledPackage* bundle = db_.find(member->bundle.name);
    if (bundle == nullptr) continue;
    switch (bundle->action) {
      case Action::Disable:
        if (member->action != Action::Uninstall) member->action = Action::Disable;
        break;
      case Action::Uninstall:
        member->action = Action::Uninstall;
        break;
      case Action::Enable:
        if (member->disabled) member->action = Action::Enable;
        break;
      case Action::None:
        break;
    }
  }
}

InstalledPackage& Planner::providerToKeep(RecordList providers) {
  InstalledPackage* last = providers.back();
  orderCandidates(console_, providers, false, false);
  // Equal releases of one name drop each other; then the last one found stays.
  return providers.empty() ? *last : *providers.back();
}

void Planner::keepDependencies(InstalledPackage& record) {
  for (const auto& [walking, changesThen] : walking_)
    if (walking == &record && changesThen == changes_) return;
  walking_.emplace_back(&record, changes_);

  if (!record.bundle.name.empty())
    if (InstalledPackage* bundle = db_.find(record.bundle.name)) keepNeeded(*bundle, record);
  for (const Dependency& d : record.deps) {
    RecordList providers = findProviders(console_, d, true);
    if (groupState(providers) == ProviderState::Active) continue;
    if (providers.empty()) break;
    keepNeeded(providerToKeep(std::move(providers)), record);
  }
  walking_.pop_back();
}

void Planner::keepNeeded(InstalledPackage& provider, const InstalledPackage& dependent) {
  if (provider.action == Action::Uninstall || provider.action == Action::Disable) {
    if (report_)
      console_.warning("can not %s %s: %s depends on it", actionWord(provider.action),
                       nameVersionText(provider).c_str(), dependent.name.c_str());
    setAction(provider, Action::None);
  } else if (!provider.disabled) {
    return;
  } else {
    setAction(provider, Action::Enable);
  }
  keepDependencies(provider);
}

void Planner::resolveEnableConflicts(InstalledPackage& record) {
  for (const auto& other : db_) {
    InstalledPackage& q = *other;
    if (&q == &record || !narrowlyActive(q)) continue;
    if (conflictsWith(record, q)) {
      if (q.action == Action::None) q.action = Action::Disable;
      continue;
    }
    if (record.action != Action::Enable || !conflictsWith(q, record)) continue;
    if (q.action == Action::None) {
      q.action = Action::Disable;
    } else if (q.action == Action::Enable) {
      if (report_)
        console_.warning("can not enable %s: %s conflicts with it", record.name.c_str(),
                         nameVersionText(q).c_str());
      record.action = Action::None;
      return;
    }
  }
}

void Planner::dropUnsatisfied() {
  bool changed = true;
  while (changed) {
    changed = false;
    for (const auto& record : db_) {
      InstalledPackage& p = *record;
      for (const Dependency& d : p.deps) {
        const ProviderState state = groupState(findProviders(console_, d, true));
        if (state == ProviderState::Gone && p.action != Action::Uninstall) {
          p.action = Action::Uninstall;
          changed = true;
        } else if (state == ProviderState::DisabledOnly && p.action != Action::Uninstall &&
                   p.action != Action::Disable && !(p.disabled && p.action == Action::None)) {
          p.action = Action::Disable;
          changed = true;
        }
        if (changed) break;
      }
      if (changed) break;
    }
  }
}

void Planner::settleBundles() {
  for (const auto& record : db_) {
    InstalledPackage& bundle = *record;
    if (!bundle.isBundle || bundle.action == Action::Uninstall) continue;
    bool memberActive = false, memberRemains = false;
    for (const auto& other : db_) {
      const InstalledPackage& m = *other;
      if (isPlaceholder(m) || !namesEqual(m.bundle.name, bundle.name)) continue;
      if (narrowlyActive(m)) {
        memberActive = true;
        break;
      }
      if (m.action == Action::Disable || (m.disabled && m.action == Action::None))
        memberRemains = true;
    }
    if (memberActive) continue;
    if (!memberRemains || !bundle.disabled)
      bundle.action = Action::Uninstall;
    else if (bundle.action == Action::Enable)
      bundle.action = Action::None;
  }
}

bool Planner::anyWillBeEnabled() const {
  for (const auto& record : db_)
    if (willBeEnabled(*record)) return true;
  return false;
}

}  // namespace

void planActions(Console& console, RecordList& removals, RecordList& enables, int report) {
  Planner planner(console, report);
  const PackageDb& db = console.packages;
  planner.followBundles();
  for (const auto& record : db)
    if (willBeEnabled(*record)) planner.keepDependencies(*record);
  for (const auto& record : db)
    if (willBeEnabled(*record)) planner.resolveEnableConflicts(*record);
  planner.dropUnsatisfied();
  planner.settleBundles();

  if (!db.empty() && !planner.anyWillBeEnabled()) {
    for (const auto& record : db) record->action = Action::None;
    if (report) console.error("can not uninstall or disable all packages");
    return;
  }

  RecordList going, coming;
  for (const auto& record : db) {
    if (record->action == Action::Uninstall || record->action == Action::Disable)
      going.push_back(record.get());
    else if (record->action == Action::Enable)
      coming.push_back(record.get());
  }
  orderCandidates(console, going, false, false);
  orderCandidates(console, coming, false, false);
  // Reversed: dependents come before the records they depend on.
  removals.insert(removals.begin(), going.rbegin(), going.rend());
  enables.insert(enables.begin(), coming.rbegin(), coming.rend());
}

void executeRemovals(Console& console, const RecordList& removals, int report) {
  for (InstalledPackage* record : removals) {
    if (record->action == Action::Uninstall) {
      removePackage(*record);
      PackageDb& db = console.packages;
      for (std::size_t i = 0; i < db.size(); ++i) {
        if (&db[i] == record) {
          db.take(i);  // destroyed here
          break;
        }
      }
      continue;
    }
    const std::string label = nameVersionText(*record);
    if (report) console.setStatus("disabling " + label + "...");
    markDisabled(*record);
    if (report) console.info("disabled %s", label.c_str());
  }
}

void executeEnables(Console& console, const RecordList& enables, int report) {
  for (InstalledPackage* record : enables) {
    const std::string label = nameVersionText(*record);
    if (report) console.setStatus("enabling " + label + "...");
    markEnabled(*record);
    if (report) console.info("enabled %s", label.c_str());
  }
}
