#include "plan/transaction.h"

// The planner and the transactions are not built yet: nothing is scheduled,
// cleaned up or installed, and a package stream is refused.

bool applyScheduledActions(int /*report*/) { return false; }

void cleanup() {}

int installFromStream(std::istream& /*input*/, RunFlags /*runFlags*/,
                      const UserStates& /*userStates*/, std::streambuf* /*tee*/,
                      std::string* /*imageDir*/, bool* /*withBootImage*/) {
  return 1;
}
