// How much of the RAM disk staged package files may take.
#pragma once

#include <cstdint>

#include "model/run_flags.h"
#include "upgrade/ram_moves.h"
#include "upgrade/staging.h"

// From the first four lines of the memory statistics (MemTotal, MemFree,
// Buffers, Cached, in KiB): free + buffers + cached, less 8 MiB that always
// stay free, capped at 128 MiB; in bytes. 0 when the file cannot be read or has
// another layout.
std::uint32_t ramBudget(const char* meminfoPath = "/proc/meminfo");

// Moves each candidate that is no image package and whose length is below
// what is left of budget to "/ram/" + its file name (not with reinstall, which
// takes files from there), copying from its open descriptor, which then holds
// the copy; a moved candidate remembers where it was found. Each move is noted
// in moves and on flash first (see noteRamMove); one that cannot be noted (a
// full flash, which needs the room most) is made all the same.
// Returns the candidates, moved or not, in their order.
Candidates moveToRam(Candidates& candidates, RunFlags runFlags, std::uint32_t budget,
                     RamMoves& moves);
