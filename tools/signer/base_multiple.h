// x-coordinates of multiples of the base point (x = 9) for the signer.
#pragma once

#include <cstdint>

namespace signer {

// out = the canonical little-endian x of n * G for the full 256-bit little-endian
// n, without the clamping of key-exchange scalars (0 * G gives 0).
void baseMultipleX(std::uint8_t out[32], const std::uint8_t n[32]);

}  // namespace signer
