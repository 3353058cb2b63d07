// The package listing of "installer --show".
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "console/console.h"

// Writes the installed set as a fixed-width table.
void printListing(const Console& console, std::ostream& out);

// The Built column: buildTime in UTC as "%b/%d/%Y %H:%M:%S" in the POSIX
// locale; empty when the time cannot be broken down.
std::string buildTimeText(std::uint32_t buildTime);
