// The little-endian integers of package files, assembled from their bytes so
// that the host's byte order never matters.
#pragma once

#include <cstdint>

// The 16-bit value of bytes[0..1], least significant byte first.
constexpr std::uint16_t load16le(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

// The 32-bit value of bytes[0..3], least significant byte first.
constexpr std::uint32_t load32le(const unsigned char* bytes) {
  return std::uint32_t(bytes[0]) | (std::uint32_t(bytes[1]) << 8) |
         (std::uint32_t(bytes[2]) << 16) | (std::uint32_t(bytes[3]) << 24);
}
