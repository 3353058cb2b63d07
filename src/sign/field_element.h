// Arithmetic in the field of integers modulo p = 2^255 - 19.
//
// A FieldElement holds ten signed 32-bit limbs x0..x9 with value sum xi * 2^bi,
// bi = 0, 26, 51, 77, 102, 128, 153, 179, 204, 230: even limbs are 26 bits wide,
// odd limbs 25 bits. An element is
//  - reduced when x0..x8 lie within their widths and x9 is at most a small carry
//    above 2^25 - 1 (feMul, feSqr and feMulSmall return reduced elements);
//  - loose when it is the sum or difference of reduced elements, or a reduced
//    element with a small constant added to or subtracted from x0. feMul, feSqr
//    and feMulSmall accept loose inputs.
// A reduced element may still be >= p; fePack gives the canonical encoding.
//
// Results go to the first argument. Only feAdd, feSub and feMulSmall may write
// over one of their inputs. Nothing allocates.
#pragma once

#include <cstdint>

struct FieldElement {
  std::int32_t limb[10];
};

// x = k for a small non-negative k.
void feSet(FieldElement& x, std::int32_t k);
void feCopy(FieldElement& y, const FieldElement& x);
// Limb-wise sum and difference without carries.
void feAdd(FieldElement& z, const FieldElement& x, const FieldElement& y);
void feSub(FieldElement& z, const FieldElement& x, const FieldElement& y);
// z = x * y mod p, reduced; z must not be x or y.
void feMul(FieldElement& z, const FieldElement& x, const FieldElement& y);
// z = x^2 mod p, reduced; z must not be x.
void feSqr(FieldElement& z, const FieldElement& x);
// z = k * x mod p, reduced; with k = 1 it reduces a loose element.
void feMulSmall(FieldElement& z, const FieldElement& x, std::int32_t k);
// sqrtAssist false: y = x^(p-2) = 1/x (0 gives 0); true: y = x^((p-5)/8).
// Always the same chain of 254 (251) squarings and 11 multiplications.
void feRecip(FieldElement& y, const FieldElement& x, bool sqrtAssist);
// x = a square root of u when u is a square (which one is fixed by the steps).
void feSqrt(FieldElement& x, const FieldElement& u);
// For a reduced x: x >= p, or x9 above 25 bits.
bool feIsOverflow(const FieldElement& x);
// The low bit of the canonical value of a reduced x.
int feIsNegative(const FieldElement& x);
// The 256-bit little-endian number m (bit 255 kept, landing in x9).
void feUnpack(FieldElement& x, const std::uint8_t m[32]);
// The canonical 32-byte little-endian encoding of a reduced x.
void fePack(const FieldElement& x, std::uint8_t m[32]);
