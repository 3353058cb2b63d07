// The bit set the driver hands to the installation operations.
#pragma once

#include <cstdint>

using RunFlags = std::uint32_t;

enum RunFlag : RunFlags {
  allowUpgrade = 1,    // a newer package may replace the installed one
  allowDowngrade = 2,  // an older package may replace the installed one
  reinstall = 4,       // an already installed release counts as installed
  // The boot image is already in place ("bootimage" set in the environment):
  // a boot-image package's file tree is not extracted. A bit above every
  // answer of the install check, so that it never masks one.
  bootImageInPlace = 64,
};
