// How much of the RAM disk staged package files may take.
#pragma once

#include <cstdint>

// From the first four lines of the memory statistics (MemTotal, MemFree,
// Buffers, Cached, in KiB): free + buffers + cached, less 8 MiB that always
// stay free, capped at 128 MiB; in bytes. 0 when the file cannot be read or has
// another layout.
std::uint32_t ramBudget(const char* meminfoPath = "/proc/meminfo");
