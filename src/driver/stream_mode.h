// Installing the package stream on standard input, keeping a copy of it as
// the package's image.
#pragma once

#include "console/console.h"
#include "model/run_flags.h"

enum class StreamResult { Done, CouldNotOpenImage };

// Copies standard input whole to the image file, checks every package in the
// copy as a staged file is checked, and installs from the copy only when it
// passes, all through the one descriptor the copy was written through; an
// image package keeps the copy as its image, anything else loses it. status
// receives the installation's result (0 installed, -1 when the image could
// not be kept).
StreamResult runStreamMode(Console& console, RunFlags runFlags, int& status);
