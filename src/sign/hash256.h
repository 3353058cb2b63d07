// hash256: the 256-bit digest of the signature check. It is the SHA-256
// construction (compression function, message schedule, padding, output order)
// with the initial value and round constants of this build's trust configuration.
#pragma once

#include <cstdint>

constexpr unsigned hash256Size = 32;

// One compression of the 64-byte block into the eight state words a..h.
void compress256(std::uint32_t state[8], const std::uint8_t block[64]);

// Hashes length bytes at data into the 32 bytes at out (state words big-endian,
// a first).
void hash256(std::uint8_t out[32], const std::uint8_t* data, std::uint32_t length);
