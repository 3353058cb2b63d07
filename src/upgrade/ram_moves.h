// The note on flash of the staged package files moved to the RAM disk, which
// lets the run after a killed one bring them back to where they were found.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "console/console.h"

// The moves one run noted, as RAM path and found path; the run that moves
// files holds it and hands it to each step that moves or installs them.
struct RamMoves {
  std::vector<std::pair<std::string, std::string>> noted;
};

// What writing the note came to (nothing is reported):
//   Written     the note on flash holds every move of moves, durably
//   NotWritten  it could not be written: the move stays noted in moves for
//               the next write
enum class RamNote : std::uint8_t { Written, NotWritten };

// Adds the move of the file at foundPath to ramPath to moves and writes them,
// one line "<ramPath> <foundPath>" each, as the whole note on flash, durably.
[[nodiscard]] RamNote noteRamMove(RamMoves& moves, const std::string& ramPath,
                                  const std::string& foundPath);

// Takes the move to ramPath out of moves and the note: its file was installed
// and its RAM copy may go. The note is dropped when no move is left in it.
void forgetRamMove(RamMoves& moves, const std::string& ramPath);

// Moves back each file the note names whose RAM copy still stands and whose
// found place is free (a RAM copy whose found place is taken again is a
// leftover and goes), then drops the note. Only lines of the shapes
// noteRamMove writes are followed: "/ram/<name> <staging directory>/<name>"
// with name a plain file name ending ".tpk" or ".lpk"; any other line moves
// nothing. A file that cannot be moved back is reported and stays in RAM.
void restoreRamMoves(Console& console);

// Drops the note of moves, if they hold any: every file it names was installed
// or went back.
void dropRamMoves(RamMoves& moves);
