// Arithmetic modulo the order of the base point,
// L = 2^252 + 27742317777372353535851937790883648493, on 32-byte little-endian
// scalars, for the signer on the authoring side (not written to run in constant
// time).
#pragma once

#include <cstdint>

namespace signer {

// The 32 little-endian bytes of L.
extern const std::uint8_t orderL[32];

// out = the 512-bit little-endian number in mod L.
void scalarReduce512(std::uint8_t out[32], const std::uint8_t in[64]);
// out = the 256-bit little-endian number in mod L.
void scalarReduce(std::uint8_t out[32], const std::uint8_t in[32]);
// out = a * b mod L (inputs below 2^256; out may be a or b).
void scalarMul(std::uint8_t out[32], const std::uint8_t a[32], const std::uint8_t b[32]);
// out = a - b mod L for a, b below L (out may be a or b).
void scalarSub(std::uint8_t out[32], const std::uint8_t a[32], const std::uint8_t b[32]);
// out = a^(L-2) = 1/a mod L for a below L (0 gives 0).
void scalarInvert(std::uint8_t out[32], const std::uint8_t a[32]);
// Whether a is below L; whether a is zero.
bool scalarIsReduced(const std::uint8_t a[32]);
bool scalarIsZero(const std::uint8_t a[32]);

}  // namespace signer
