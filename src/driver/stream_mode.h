// Installing the package stream on standard input, keeping a copy of it as
// the package's image.
#pragma once

#include "console/console.h"
#include "model/run_flags.h"
#include "plan/flash_effects.h"
#include "plan/install_outcome.h"

// What became of the copy of the stream kept as the package's image:
//   Usable     opened and, for an installed image package, kept as its image
//   NotOpened  the image file could not be opened: nothing was read or installed
//   NotSaved   the package was installed but its copy could not be kept
enum class StreamImage { Usable, NotOpened, NotSaved };

// How a stream-mode installation ended.
struct StreamOutcome {
  StreamImage image = StreamImage::Usable;
  InstallOutcome install = InstallOutcome::NotInstalled;
};

// Copies standard input whole to the image file, checks every package in the
// copy as a staged file is checked, and installs from the copy only when it
// passes, all through the one descriptor the copy was written through; an
// image package keeps the copy as its image, anything else loses it.
[[nodiscard]] StreamOutcome runStreamMode(Console& console, FlashEffects& effects,
                                          RunFlags runFlags);
