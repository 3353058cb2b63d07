// The note of staged files moved to RAM, as a killed run leaves it: the next
// run brings back only what the installer itself moves; outcome in
// tests/data/e2e/ram-moves-hostile.txt.
#include "e2e_helpers.h"

namespace {

using namespace e2e;

// Of the note's lines only the first is a move the installer makes; the others
// name a place outside the staging directories, a file that is no package
// file, two different names, a dot-named file, a way out of /ram, and no
// second path: those files stay where they are.
TEST(RamMoves, OnlyMovesOfTheInstallersOwnShapeGoBack) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const DeviceRoot root;
  lay(root, "ram-moves-hostile.before");
  expectRecorded("ram-moves-hostile", outcome(root.run({}), root));
}

}  // namespace
