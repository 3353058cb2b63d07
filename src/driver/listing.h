// The package listing of "installer --show".
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "console/console.h"

// Writes the installed set as a fixed-width table.
void printListing(const Console& console, std::ostream& out);

// The Built column: buildTime in UTC as "Feb/07/2106 06:28:15" (English month
// abbreviation, two-digit day, four-digit year, 24-hour time), for every
// 32-bit value whatever the C library's time_t.
std::string buildTimeText(std::uint32_t buildTime);
