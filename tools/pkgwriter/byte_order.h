// Little-endian integer encoding for package bytes: every integer of a package
// file is written byte by byte, least significant first.
#pragma once

#include <cstdint>
#include <string>

namespace pkgwriter {

inline void appendU8(std::string& out, std::uint8_t value) { out.push_back(char(value)); }

inline void appendU16(std::string& out, std::uint16_t value) {
  out.push_back(char(value & 0xFF));
  out.push_back(char((value >> 8) & 0xFF));
}

inline void appendU32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(char((value >> shift) & 0xFF));
}

inline std::uint16_t loadU16(const unsigned char* b) { return std::uint16_t(b[0] | b[1] << 8); }

inline std::uint32_t loadU32(const unsigned char* b) {
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
         std::uint32_t(b[3]) << 24;
}

}  // namespace pkgwriter
