#include "plan/transaction.h"

#include "plan/scheduled_actions.h"

bool applyScheduledActions(Console& console, int report) {
  RecordList removals, enables;
  planActions(console, removals, enables, report);
  const bool changed = !removals.empty() || !enables.empty();
  executeRemovals(console, removals, report);
  executeEnables(console, enables, report);
  return changed;
}

// The clean-up and the transactions are not built yet: nothing is cleaned up
// or installed, and a package stream is refused.

void cleanup() {}

int installFromStream(std::istream& /*input*/, RunFlags /*runFlags*/,
                      const UserStates& /*userStates*/, std::streambuf* /*tee*/,
                      std::string* /*imageDir*/, bool* /*withBootImage*/) {
  return 1;
}
