#include "plan/scheduled_actions.h"

#include <cstdint>
#include <functional>
#include <queue>
#include <unordered_map>
#include <utility>

#include "plan/candidate_order.h"
#include "plan/relation_index.h"
#include "plan/relations.h"

namespace {

using Action = ScheduledAction;

const char* actionWord(Action action) {
  switch (action) {
    case Action::Uninstall:
      return "uninstall";
    case Action::Enable:
      return "enable";
    case Action::Disable:
      return "disable";
    case Action::None:
      break;
  }
  return "";
}

// Enabled with no action, or scheduled for enabling (a redundant "enable" of
// an enabled record keeps it enabled all the same).
bool willBeEnabled(const InstalledPackage& record) {
  return record.action == Action::Enable || (!record.disabled && record.action == Action::None);
}

class Planner {
 public:
  Planner(Console& console, int report);

  void followBundles();
  void keepDependencies(InstalledPackage& record);
  void resolveEnableConflicts(InstalledPackage& record);
  void dropUnsatisfied();
  void settleBundles();
  bool anyWillBeEnabled() const;

 private:
  void setAction(InstalledPackage& record, Action action) {
    if (record.action != action) ++changes_;
    record.action = action;
  }
  // Every record the planner meets is in the PackageDb.
  std::size_t indexOf(const InstalledPackage& record) const {
    return indexOf_.find(&record)->second;
  }
  InstalledPackage* find(const std::string& name) const {
    const auto found = firstNamed_.find(name);
    return found == firstNamed_.end() ? nullptr : found->second;
  }
  // The provider to keep for a dependency none of whose providers is active:
  // the last one after ordering, so the best release that others lean on.
  InstalledPackage& providerToKeep(RecordList providers);
  // Keeps a provider that dependent needs; whether what the provider needs
  // must be kept in turn.
  bool keepNeeded(InstalledPackage& provider, const InstalledPackage& dependent);
  // Sets the action a dependency in this state calls for; whether it changed.
  bool dropIfUnsatisfied(InstalledPackage& record);

  Console& console_;
  int report_;
  // Names, relations and bundle fields do not change while planning, so the
  // lookups are made once: PackageDb order, find by name, the providers of
  // every dependency (findProviders with disabled ones), the records whose
  // dependencies a record provides, bundle members by bundle name.
  RecordList records_;
  std::vector<const Package*> packages_;
  RelationIndex relations_;
  std::unordered_map<const InstalledPackage*, std::size_t> indexOf_;
  std::unordered_map<std::string, InstalledPackage*> firstNamed_;
  std::vector<std::vector<RecordList>> providers_;
  std::vector<std::vector<std::size_t>> dependents_;
  std::unordered_map<std::string, RecordList> members_;
  // For cutting a walk that would repeat itself for ever: per record, the
  // number of action changes made when the innermost walk over its
  // dependencies began (noWalk when none is under way). Meeting the record
  // again with no change made since can only repeat the same walk (a bundle
  // that names itself, say).
  static constexpr std::uint64_t noWalk = ~std::uint64_t(0);
  std::vector<std::uint64_t> walkingSince_;
  std::uint64_t changes_ = 0;
};

Planner::Planner(Console& console, int report)
    : console_(console),
      report_(report),
      records_([&] {
        RecordList records;
        for (const auto& record : console.packages) records.push_back(record.get());
        return records;
      }()),
      packages_(records_.begin(), records_.end()),
      relations_(packages_),
      providers_(records_.size()),
      dependents_(records_.size()),
      walkingSince_(records_.size(), noWalk) {
  for (std::size_t i = 0; i < records_.size(); ++i) {
    InstalledPackage& record = *records_[i];
    indexOf_.emplace(&record, i);
    firstNamed_.emplace(record.name, &record);
    if (!isPlaceholder(record)) members_[record.bundle.name].push_back(&record);
  }
  for (std::size_t i = 0; i < records_.size(); ++i) {
    for (const Dependency& d : records_[i]->deps) {
      RecordList& providers = providers_[i].emplace_back();
      for (std::size_t p : relations_.offering(d.name)) {
        if (!isProviderOf(*records_[p], d)) continue;
        providers.push_back(records_[p]);
        if (dependents_[p].empty() || dependents_[p].back() != i) dependents_[p].push_back(i);
      }
    }
  }
}

void Planner::followBundles() {
  for (InstalledPackage* member : records_) {
    if (member->bundle.name.empty()) continue;
    const InstalledPackage* bundle = find(member->bundle.name);
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

// A walk over the dependencies of one record: the bundle first, then each
// dependency in order. Walks nest as far as the installed set's chains go, so
// they are kept on a list of their own rather than on the call stack.
struct Walk {
  std::size_t index;    // of the walking record
  std::size_t next;     // its next dependency to look at
  bool bundleDone;      // whether its bundle has been looked at
  std::uint64_t outer;  // walkingSince_ of the record before this walk
};

void Planner::keepDependencies(InstalledPackage& top) {
  std::vector<Walk> walks;
  const auto begin = [&](const InstalledPackage& record) {
    const std::size_t index = indexOf(record);
    if (walkingSince_[index] == changes_) return;
    walks.push_back({index, 0, false, std::exchange(walkingSince_[index], changes_)});
  };
  begin(top);
  while (!walks.empty()) {
    Walk& walk = walks.back();
    const InstalledPackage& record = *records_[walk.index];
    InstalledPackage* provider = nullptr;
    if (!walk.bundleDone) {
      walk.bundleDone = true;
      if (!record.bundle.name.empty()) provider = find(record.bundle.name);
    } else {
      const std::vector<RecordList>& dependencies = providers_[walk.index];
      while (provider == nullptr && walk.next < dependencies.size()) {
        const RecordList& providers = dependencies[walk.next++];
        if (groupState(providers) == ProviderState::Active) continue;
        if (providers.empty())
          walk.next = dependencies.size();  // the rest is not looked at
        else
          provider = &providerToKeep(providers);
      }
      if (provider == nullptr) {
        walkingSince_[walk.index] = walk.outer;
        walks.pop_back();
        continue;
      }
    }
    if (provider != nullptr && keepNeeded(*provider, record)) begin(*provider);
  }
}

bool Planner::keepNeeded(InstalledPackage& provider, const InstalledPackage& dependent) {
  if (provider.action == Action::Uninstall || provider.action == Action::Disable) {
    if (report_)
      console_.warning("can not %s %s: %s depends on it", actionWord(provider.action),
                       nameVersionText(provider).c_str(), dependent.name.c_str());
    setAction(provider, Action::None);
    return true;
  }
  if (!provider.disabled) return false;
  setAction(provider, Action::Enable);
  return true;
}

// Only records that may conflict with the record either way are visited;
// the others would be passed over.
void Planner::resolveEnableConflicts(InstalledPackage& record) {
  for (std::size_t other : relations_.candidates(indexOf(record))) {
    InstalledPackage& q = *records_[other];
    if (&q == &record || !willBeEnabled(q)) continue;
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

bool Planner::dropIfUnsatisfied(InstalledPackage& p) {
  for (const RecordList& providers : providers_[indexOf(p)]) {
    const ProviderState state = groupState(providers);
    if (state == ProviderState::Gone && p.action != Action::Uninstall) {
      p.action = Action::Uninstall;
      return true;
    }
    if (state == ProviderState::DisabledOnly && p.action != Action::Uninstall &&
        p.action != Action::Disable && !(p.disabled && p.action == Action::None)) {
      p.action = Action::Disable;
      return true;
    }
  }
  return false;
}

// Passes over the records in order until one changes nothing, starting again
// from the first record after each change. A record whose own action and
// whose providers' actions are as they were when it last changed nothing will
// change nothing again, so instead of a whole pass only the first record that
// might change is looked at: pending holds those, lowest first.
void Planner::dropUnsatisfied() {
  std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> pending;
  std::vector<char> isPending(records_.size(), 1);
  for (std::size_t i = 0; i < records_.size(); ++i) pending.push(i);
  const auto recheck = [&](std::size_t i) {
    if (!isPending[i]) pending.push(i);
    isPending[i] = 1;
  };
  while (!pending.empty()) {
    const std::size_t i = pending.top();
    pending.pop();
    isPending[i] = 0;
    if (!dropIfUnsatisfied(*records_[i])) continue;
    recheck(i);
    for (std::size_t dependent : dependents_[i]) recheck(dependent);
  }
}

void Planner::settleBundles() {
  for (InstalledPackage* record : records_) {
    InstalledPackage& bundle = *record;
    if (!bundle.isBundle || bundle.action == Action::Uninstall) continue;
    bool memberActive = false, memberRemains = false;
    static const RecordList noMembers;
    const auto found = members_.find(bundle.name);
    for (const InstalledPackage* m : found == members_.end() ? noMembers : found->second) {
      if (willBeEnabled(*m)) {
        memberActive = true;
        break;
      }
      if (m->action == Action::Disable || (m->disabled && m->action == Action::None))
        memberRemains = true;
    }
    if (memberActive) continue;
    // A bundle goes only with its last member; while members remain, all of
    // them disabled, it stays disabled too.
    if (!memberRemains)
      bundle.action = Action::Uninstall;
    else if (!bundle.disabled)
      bundle.action = Action::Disable;
    else if (bundle.action == Action::Enable)
      bundle.action = Action::None;
  }
}

bool Planner::anyWillBeEnabled() const {
  for (const InstalledPackage* record : records_)
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

namespace {

// Whether the state was recorded (or needs no entry); a state that could not
// be recorded is reported: the record has it, the database may not.
bool recorded(Console& console, MarkResult result, const std::string& label, const char* state) {
  if (result != MarkResult::NoEntry && result != MarkResult::NotWritten) return true;
  console.error("could not record %s as %s", label.c_str(), state);
  return false;
}

}  // namespace

void executeRemovals(Console& console, FlashEffects& effects, const RecordList& removals,
                     int report) {
  for (InstalledPackage* record : removals) {
    if (record->action == Action::Uninstall) {
      effects.removePackage(console, *record);
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
    if (recorded(console, effects.markDisabled(*record), label, "disabled") && report)
      console.info("disabled %s", label.c_str());
  }
}

void executeEnables(Console& console, FlashEffects& effects, const RecordList& enables,
                    int report) {
  for (InstalledPackage* record : enables) {
    const std::string label = nameVersionText(*record);
    if (report) console.setStatus("enabling " + label + "...");
    if (recorded(console, effects.markEnabled(*record), label, "enabled") && report)
      console.info("enabled %s", label.c_str());
  }
}
