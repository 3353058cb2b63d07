// The text forms tpk info and tpk contents print: modes as ls shows them,
// UTC times, relation lists, part layouts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tpk/package_inspection.h"

namespace tpk {

// "drwxr-xr-x", "-rwsr-x---", "lrwxrwxrwx", "crw-rw-rw-", "prw--w----";
// an unknown type shows as "?".
// Bytes below 0x20, 0x7f and the backslash as \xNN; the rest unchanged.
std::string printable(const std::string& text);
std::string modeText(std::uint16_t mode);
// "2024-01-01 00:00:00" (UTC).
std::string utcText(std::uint32_t seconds);
// "1@8 (32), 24@46 (11), ..."
std::string layoutText(const std::vector<LayoutPart>& parts);
// One line of tpk contents.
std::string entryLine(const InspectedEntry& entry);

}  // namespace tpk
