// The message log "/flash/postlog": the messages of each run, kept for the
// running system to show.
#pragma once

#include "console/console.h"

// Appends the lines of the existing log (each ended by "\n"; an unterminated
// last line is dropped) to the console's messages, then reserves the log's
// space on flash with 4096 zero bytes. writePostlog then rewrites the log.
void reservePostlog(Console& console);

// Writes the run's messages to the log, one line each: rewritten when the log
// was reserved in this run, appended otherwise; nothing at all when it was not
// reserved and there are no messages. The file systems are flushed before the
// write, and the log itself before it is closed.
void writePostlog(Console& console);
