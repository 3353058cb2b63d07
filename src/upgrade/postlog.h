// The message log "/flash/postlog": the messages of each run, kept for the
// running system to show.
#pragma once

#include <cstddef>

#include "console/console.h"

// How much of the old log a run keeps: its newest whole lines up to this many
// bytes, each counted with its "\n".
constexpr std::size_t keptLogBytes = 64 * 1024;

// Whether this run reserved the log's space, which decides how writePostlog
// writes the log.
enum class PostlogSpace { Unreserved, Reserved };

// Appends the newest lines of the existing log (each ended by "\n"; an
// unterminated last line is dropped; see keptLogBytes) to the console's
// messages, then reserves the log's space on flash with 4096 zero bytes in a
// dot-named file beside it (one a killed run left is reused). Returns
// Reserved, for writePostlog to rewrite the log.
[[nodiscard]] PostlogSpace reservePostlog(Console& console);

// Writes the run's messages to the log, one line each: when space says the log
// was reserved in this run, the reservation is dropped and the new log is written
// under a temporary name, made durable and renamed over the old one, which a
// kill at any point leaves whole; otherwise they are appended. Nothing at all
// when it was not reserved and there are no messages. Whatever stands at the
// log's name and is not a regular file of one link is replaced, never written
// through. The file systems are flushed before the write, and the log itself
// before it takes the log's name or is closed.
void writePostlog(Console& console, PostlogSpace space);
