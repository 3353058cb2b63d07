// The exit status a run ends with, from what it came to.
#pragma once

#include "plan/install_outcome.h"

// The exit status of a stream-mode installation that came to outcome.
[[nodiscard]] int exitStatus(InstallOutcome outcome);
