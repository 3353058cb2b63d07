// The message log "/flash/postlog".
#pragma once

#include "console/console.h"

// Whether the log was reserved in this run (set by the upgrade run).
bool postlogReserved();
void setPostlogReserved();

// Writes the run's messages to /flash/postlog: truncated when the log was
// reserved in this run, appended to otherwise; nothing at all when it was not
// reserved and there are no messages.
void writePostlog(Console& console);
