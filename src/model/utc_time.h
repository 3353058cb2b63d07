// Build times and file times as calendar dates: seconds since 1970-01-01 UTC
// as the unsigned 32-bit value packages carry, broken down by arithmetic alone.
// Going through time_t would turn every time from 2038-01-19 03:14:08 on into
// a date before 1970 where time_t has 32 bits, as on the device.
#pragma once

#include <cstdint>

struct UtcTime {
  unsigned year;    // 1970 to 2106
  unsigned month;   // 1 to 12
  unsigned day;     // 1 to 31
  unsigned hour;    // 0 to 23
  unsigned minute;  // 0 to 59
  unsigned second;  // 0 to 59
};

UtcTime utcTime(std::uint32_t seconds);

// "Jan" to "Dec" for months 1 to 12.
const char* monthAbbreviation(unsigned month);
