// The planner over an installed set whose dependencies run deeper than any
// stack: the walks it makes must not grow with the length of a chain.
#include <gtest/gtest.h>

#include <string>

#include "plan/scheduled_actions.h"
#include "support/captured_console.h"

namespace {

TEST(LongChain, EnablingTheTopOfAChainEnablesAllOfItWithoutOverflowingTheStack) {
  constexpr std::size_t length = 150000;
  testing_support::CapturedConsole out;
  for (std::size_t i = 0; i < length; ++i) {
    auto record = std::make_unique<InstalledPackage>("p" + std::to_string(i));
    record->disabled = true;
    if (i + 1 < length) record->deps.push_back({"p" + std::to_string(i + 1), 0, 0, 0});
    out.console.packages.append(std::move(record));
  }
  out.console.packages[0].action = ScheduledAction::Enable;

  RecordList removals, enables;
  planActions(out.console, removals, enables, 1);
  EXPECT_TRUE(removals.empty());
  ASSERT_EQ(enables.size(), length);
  // Dependents first, the end of the chain last.
  std::size_t misplaced = 0;
  for (std::size_t i = 0; i < length; ++i) misplaced += enables[i]->name != "p" + std::to_string(i);
  EXPECT_EQ(misplaced, 0u);
  EXPECT_EQ(out.written(), "");
}

}  // namespace
