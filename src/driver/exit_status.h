// The exit status a run ends with, from what it came to.
#pragma once

#include "driver/stream_mode.h"

// The exit status of a run whose stream-mode installation came to outcome:
// -1 when the image could not be opened or kept, else the value of the
// installation's outcome.
[[nodiscard]] int exitStatus(const StreamOutcome& outcome);
