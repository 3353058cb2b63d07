// Planning the scheduled actions of a large installed set. Each iteration
// starts from the same actions.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "console/console.h"
#include "plan/scheduled_actions.h"

namespace {

std::string name(std::size_t i) { return "p" + std::to_string(i); }

// Chains of ten (each record needs the next), a bundle record with four
// members every hundred, every fifth record providing a shared name that every
// seventh needs, a few disabled chain ends (kept by their chains), conflicts
// with packages that are not installed and a few with installed ones. Every
// tenth record, the top of a chain, is scheduled: uninstall, disable, or enable
// (of a disabled one).
void buildInstalledSet(PackageDb& db, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    auto record = std::make_unique<InstalledPackage>(name(i));
    record->version = 0x01006600 + static_cast<Version>(i % 7);
    if (i % 100 == 0) record->isBundle = true;
    if (i % 100 >= 1 && i % 100 <= 4) record->bundle.name = name(i - i % 100);
    if (i % 10 != 9 && i + 1 < count) record->deps.push_back({name(i + 1), 0, 0, 0});
    if (i % 5 == 0) record->provides.push_back({"api" + std::to_string(i / 50), 0, 0, 0});
    if (i % 7 == 0 && i >= 50)
      record->deps.push_back({"api" + std::to_string(i / 50 - 1), 0, 0, 0});
    if (i % 30 == 9) record->disabled = true;
    if (i % 20 == 19) record->conflicts.push_back({"alt" + std::to_string(i), 0, 0, 0});
    if (i % 100 == 59) record->conflicts.push_back({name(i - 9), 0, 0, 0});
    if (i % 10 == 0) {
      const ScheduledAction cycle[] = {ScheduledAction::Uninstall, ScheduledAction::Disable,
                                       ScheduledAction::Enable};
      record->action = cycle[(i / 10) % 3];
      if (record->action == ScheduledAction::Enable) record->disabled = true;
    }
    db.append(std::move(record));
  }
}

void BM_PlanActions(benchmark::State& state) {
  std::FILE* sink = std::fopen("/dev/null", "w");
  Console console(sink);
  buildInstalledSet(console.packages, static_cast<std::size_t>(state.range(0)));
  std::vector<ScheduledAction> initial;
  for (const auto& record : console.packages) initial.push_back(record->action);
  std::size_t planned = 0;
  for (auto _ : state) {
    for (std::size_t i = 0; i < initial.size(); ++i) console.packages[i].action = initial[i];
    console.messages.clear();
    RecordList removals, enables;
    planActions(console, removals, enables, 1);
    planned = removals.size() + enables.size();
    benchmark::DoNotOptimize(planned);
  }
  state.counters["planned"] = double(planned);
  state.SetComplexityN(state.range(0));
  std::fclose(sink);
}
BENCHMARK(BM_PlanActions)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(5000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
