// What one step of putting a package in place came to.
#pragma once

#include <cstdint>

// The result of the steps that put what a package delivers in place
// (extractFiles, installPackage, registerBundle and the journal's entryFits):
//   Done    the step was carried out: what it makes is in place (an
//           installation committed and applied), or what it checks holds
//   Failed  the step met a failure and reported it once; what it leaves
//           then is said at its declaration
enum class InstallStep : std::uint8_t { Done, Failed };
