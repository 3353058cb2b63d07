#include "sign/field_element.h"

namespace {

constexpr std::int64_t mask26 = (std::int64_t(1) << 26) - 1;
constexpr std::int64_t mask25 = (std::int64_t(1) << 25) - 1;

// The carry chain shared by feMul, feSqr and feMulSmall: limb 8 first (26 bits
// kept), then limb 9 (25 bits kept, its carry times 19 into limb 0), then limbs
// 0 to 7 in order, each carrying into the next, and finally limb 8 once more
// with its carry added to limb 9 without a further cut.
[[gnu::always_inline]] inline void carryReduce(FieldElement& z, std::int64_t r0, std::int64_t r1,
                                               std::int64_t r2, std::int64_t r3, std::int64_t r4,
                                               std::int64_t r5, std::int64_t r6, std::int64_t r7,
                                               std::int64_t r8, std::int64_t r9) {
  std::int64_t c;
  c = r8 >> 26; r8 &= mask26; r9 += c;
  c = r9 >> 25; r9 &= mask25; r0 += 19 * c;
  c = r0 >> 26; r0 &= mask26; r1 += c;
  c = r1 >> 25; r1 &= mask25; r2 += c;
  c = r2 >> 26; r2 &= mask26; r3 += c;
  c = r3 >> 25; r3 &= mask25; r4 += c;
  c = r4 >> 26; r4 &= mask26; r5 += c;
  c = r5 >> 25; r5 &= mask25; r6 += c;
  c = r6 >> 26; r6 &= mask26; r7 += c;
  c = r7 >> 25; r7 &= mask25; r8 += c;
  c = r8 >> 26; r8 &= mask26; r9 += c;
  z.limb[0] = std::int32_t(r0);
  z.limb[1] = std::int32_t(r1);
  z.limb[2] = std::int32_t(r2);
  z.limb[3] = std::int32_t(r3);
  z.limb[4] = std::int32_t(r4);
  z.limb[5] = std::int32_t(r5);
  z.limb[6] = std::int32_t(r6);
  z.limb[7] = std::int32_t(r7);
  z.limb[8] = std::int32_t(r8);
  z.limb[9] = std::int32_t(r9);
}

inline std::uint32_t load32(const std::uint8_t* m) {
  return std::uint32_t(m[0]) | std::uint32_t(m[1]) << 8 | std::uint32_t(m[2]) << 16 |
         std::uint32_t(m[3]) << 24;
}

inline void store32(std::uint8_t* m, std::int64_t t) {
  m[0] = std::uint8_t(t);
  m[1] = std::uint8_t(t >> 8);
  m[2] = std::uint8_t(t >> 16);
  m[3] = std::uint8_t(t >> 24);
}

}  // namespace

void feSet(FieldElement& x, std::int32_t k) {
  x.limb[0] = k;
  for (int i = 1; i < 10; ++i) x.limb[i] = 0;
}

void feCopy(FieldElement& y, const FieldElement& x) {
  for (int i = 0; i < 10; ++i) y.limb[i] = x.limb[i];
}

void feAdd(FieldElement& z, const FieldElement& x, const FieldElement& y) {
  for (int i = 0; i < 10; ++i) z.limb[i] = x.limb[i] + y.limb[i];
}

void feSub(FieldElement& z, const FieldElement& x, const FieldElement& y) {
  for (int i = 0; i < 10; ++i) z.limb[i] = x.limb[i] - y.limb[i];
}

// Schoolbook product. xi*yj lands at bit bi + bj; when i and j are both odd that
// is one above limb i+j's offset, so the product is doubled (the "_2" factors).
// Products at bit 255 and above are folded down with 2^255 = 19 (mod p): each
// accumulator sums its own products and, times 19, those of limb index + 10.
// With loose inputs (|limb| <= 2^27) every accumulator stays below 2^63.
void feMul(FieldElement& z, const FieldElement& x, const FieldElement& y) {
  const std::int64_t x0 = x.limb[0], x1 = x.limb[1], x2 = x.limb[2], x3 = x.limb[3],
                     x4 = x.limb[4], x5 = x.limb[5], x6 = x.limb[6], x7 = x.limb[7],
                     x8 = x.limb[8], x9 = x.limb[9];
  const std::int64_t y0 = y.limb[0], y1 = y.limb[1], y2 = y.limb[2], y3 = y.limb[3],
                     y4 = y.limb[4], y5 = y.limb[5], y6 = y.limb[6], y7 = y.limb[7],
                     y8 = y.limb[8], y9 = y.limb[9];
  const std::int64_t x1_2 = 2 * x1, x3_2 = 2 * x3, x5_2 = 2 * x5, x7_2 = 2 * x7, x9_2 = 2 * x9;

  const std::int64_t r0 =
      x0 * y0 + 19 * (x1_2 * y9 + x2 * y8 + x3_2 * y7 + x4 * y6 + x5_2 * y5 + x6 * y4 +
                      x7_2 * y3 + x8 * y2 + x9_2 * y1);
  const std::int64_t r1 = x0 * y1 + x1 * y0 +
                          19 * (x2 * y9 + x3 * y8 + x4 * y7 + x5 * y6 + x6 * y5 + x7 * y4 +
                                x8 * y3 + x9 * y2);
  const std::int64_t r2 = x0 * y2 + x1_2 * y1 + x2 * y0 +
                          19 * (x3_2 * y9 + x4 * y8 + x5_2 * y7 + x6 * y6 + x7_2 * y5 +
                                x8 * y4 + x9_2 * y3);
  const std::int64_t r3 = x0 * y3 + x1 * y2 + x2 * y1 + x3 * y0 +
                          19 * (x4 * y9 + x5 * y8 + x6 * y7 + x7 * y6 + x8 * y5 + x9 * y4);
  const std::int64_t r4 = x0 * y4 + x1_2 * y3 + x2 * y2 + x3_2 * y1 + x4 * y0 +
                          19 * (x5_2 * y9 + x6 * y8 + x7_2 * y7 + x8 * y6 + x9_2 * y5);
  const std::int64_t r5 = x0 * y5 + x1 * y4 + x2 * y3 + x3 * y2 + x4 * y1 + x5 * y0 +
                          19 * (x6 * y9 + x7 * y8 + x8 * y7 + x9 * y6);
  const std::int64_t r6 = x0 * y6 + x1_2 * y5 + x2 * y4 + x3_2 * y3 + x4 * y2 + x5_2 * y1 +
                          x6 * y0 + 19 * (x7_2 * y9 + x8 * y8 + x9_2 * y7);
  const std::int64_t r7 = x0 * y7 + x1 * y6 + x2 * y5 + x3 * y4 + x4 * y3 + x5 * y2 + x6 * y1 +
                          x7 * y0 + 19 * (x8 * y9 + x9 * y8);
  const std::int64_t r8 = x0 * y8 + x1_2 * y7 + x2 * y6 + x3_2 * y5 + x4 * y4 + x5_2 * y3 +
                          x6 * y2 + x7_2 * y1 + x8 * y0 + 19 * (x9_2 * y9);
  const std::int64_t r9 = x0 * y9 + x1 * y8 + x2 * y7 + x3 * y6 + x4 * y5 + x5 * y4 + x6 * y3 +
                          x7 * y2 + x8 * y1 + x9 * y0;
  carryReduce(z, r0, r1, r2, r3, r4, r5, r6, r7, r8, r9);
}

// feMul(z, x, x) with each cross product computed once and doubled ("_2"; "_4"
// when the pair is also odd-odd).
void feSqr(FieldElement& z, const FieldElement& x) {
  const std::int64_t x0 = x.limb[0], x1 = x.limb[1], x2 = x.limb[2], x3 = x.limb[3],
                     x4 = x.limb[4], x5 = x.limb[5], x6 = x.limb[6], x7 = x.limb[7],
                     x8 = x.limb[8], x9 = x.limb[9];
  const std::int64_t x0_2 = 2 * x0, x1_2 = 2 * x1, x2_2 = 2 * x2, x3_2 = 2 * x3, x4_2 = 2 * x4,
                     x5_2 = 2 * x5, x6_2 = 2 * x6, x7_2 = 2 * x7, x8_2 = 2 * x8, x9_2 = 2 * x9;
  const std::int64_t x1_4 = 4 * x1, x3_4 = 4 * x3, x5_4 = 4 * x5, x7_4 = 4 * x7;

  const std::int64_t r0 =
      x0 * x0 + 19 * (x1_4 * x9 + x2_2 * x8 + x3_4 * x7 + x4_2 * x6 + x5_2 * x5);
  const std::int64_t r1 = x0_2 * x1 + 19 * (x2_2 * x9 + x3_2 * x8 + x4_2 * x7 + x5_2 * x6);
  const std::int64_t r2 =
      x0_2 * x2 + x1_2 * x1 + 19 * (x3_4 * x9 + x4_2 * x8 + x5_4 * x7 + x6 * x6);
  const std::int64_t r3 = x0_2 * x3 + x1_2 * x2 + 19 * (x4_2 * x9 + x5_2 * x8 + x6_2 * x7);
  const std::int64_t r4 =
      x0_2 * x4 + x1_4 * x3 + x2 * x2 + 19 * (x5_4 * x9 + x6_2 * x8 + x7_2 * x7);
  const std::int64_t r5 = x0_2 * x5 + x1_2 * x4 + x2_2 * x3 + 19 * (x6_2 * x9 + x7_2 * x8);
  const std::int64_t r6 =
      x0_2 * x6 + x1_4 * x5 + x2_2 * x4 + x3_2 * x3 + 19 * (x7_4 * x9 + x8 * x8);
  const std::int64_t r7 = x0_2 * x7 + x1_2 * x6 + x2_2 * x5 + x3_2 * x4 + 19 * (x8_2 * x9);
  const std::int64_t r8 =
      x0_2 * x8 + x1_4 * x7 + x2_2 * x6 + x3_4 * x5 + x4 * x4 + 19 * (x9_2 * x9);
  const std::int64_t r9 = x0_2 * x9 + x1_2 * x8 + x2_2 * x7 + x3_2 * x6 + x4_2 * x5;
  carryReduce(z, r0, r1, r2, r3, r4, r5, r6, r7, r8, r9);
}

void feMulSmall(FieldElement& z, const FieldElement& x, std::int32_t k) {
  const std::int64_t m = k;
  carryReduce(z, x.limb[0] * m, x.limb[1] * m, x.limb[2] * m, x.limb[3] * m, x.limb[4] * m,
              x.limb[5] * m, x.limb[6] * m, x.limb[7] * m, x.limb[8] * m, x.limb[9] * m);
}

namespace {

// y = x^(2^n), n >= 2 and even, by n squarings alternating between y and a
// temporary; y must not be x.
void feSqrTimes(FieldElement& y, const FieldElement& x, int n) {
  FieldElement t;
  feSqr(t, x);
  feSqr(y, t);
  for (int i = 2; i < n; i += 2) {
    feSqr(t, y);
    feSqr(y, t);
  }
}

}  // namespace

void feRecip(FieldElement& y, const FieldElement& x, bool sqrtAssist) {
  FieldElement x2, x9, x11, t, u, e5, e10, e20, e50, e100;
  feSqr(x2, x);               // x^2
  feSqr(t, x2);               // x^4
  feSqr(u, t);                // x^8
  feMul(x9, u, x);            // x^9
  feMul(x11, x9, x2);         // x^11
  feSqr(t, x11);              // x^22
  feMul(e5, t, x9);           // x^(2^5 - 1)
  feSqr(u, e5);               // (5 squarings: one, then four)
  feSqrTimes(t, u, 4);
  feMul(e10, t, e5);          // x^(2^10 - 1)
  feSqrTimes(t, e10, 10);
  feMul(e20, t, e10);         // x^(2^20 - 1)
  feSqrTimes(t, e20, 20);
  feMul(u, t, e20);           // x^(2^40 - 1)
  feSqrTimes(t, u, 10);
  feMul(e50, t, e10);         // x^(2^50 - 1)
  feSqrTimes(t, e50, 50);
  feMul(e100, t, e50);        // x^(2^100 - 1)
  feSqrTimes(t, e100, 100);
  feMul(u, t, e100);          // x^(2^200 - 1)
  feSqrTimes(t, u, 50);
  feMul(u, t, e50);           // x^(2^250 - 1)
  feSqrTimes(t, u, 2);        // x^(2^252 - 4)
  if (sqrtAssist) {
    feMul(y, t, x);           // x^(2^252 - 3)
  } else {
    FieldElement v;
    feSqr(v, t);              // (3 squarings: one, then two)
    feSqrTimes(u, v, 2);      // x^(2^255 - 32)
    feMul(y, u, x11);         // x^(2^255 - 21) = x^(p - 2)
  }
}

void feSqrt(FieldElement& x, const FieldElement& u) {
  FieldElement t1, t2, v;
  feAdd(t1, u, u);            // 2u
  feRecip(v, t1, true);       // (2u)^((p-5)/8)
  feSqr(x, v);
  feMul(t2, t1, x);           // 2u v^2
  t2.limb[0] -= 1;            // 2u v^2 - 1
  feMul(t1, v, t2);
  feMul(x, u, t1);            // u v (2u v^2 - 1)
}

bool feIsOverflow(const FieldElement& x) {
  constexpr std::int32_t max25 = (1 << 25) - 1, max26 = (1 << 26) - 1;
  if (x.limb[9] > max25) return true;
  return x.limb[1] == max25 && x.limb[3] == max25 && x.limb[5] == max25 &&
         x.limb[7] == max25 && x.limb[9] == max25 && x.limb[2] == max26 &&
         x.limb[4] == max26 && x.limb[6] == max26 && x.limb[8] == max26 &&
         x.limb[0] > max26 - 19;
}

int feIsNegative(const FieldElement& x) {
  const int flip = (feIsOverflow(x) || x.limb[9] < 0) ? 1 : 0;
  return (flip ^ x.limb[0]) & 1;
}

void feUnpack(FieldElement& x, const std::uint8_t m[32]) {
  x.limb[0] = std::int32_t(load32(m) & 0x3ffffff);             // bits 0-25
  x.limb[1] = std::int32_t((load32(m + 3) >> 2) & 0x1ffffff);  // bits 26-50
  x.limb[2] = std::int32_t((load32(m + 6) >> 3) & 0x3ffffff);  // bits 51-76
  x.limb[3] = std::int32_t((load32(m + 9) >> 5) & 0x1ffffff);  // bits 77-101
  x.limb[4] = std::int32_t((load32(m + 12) >> 6) & 0x3ffffff); // bits 102-127
  x.limb[5] = std::int32_t(load32(m + 16) & 0x1ffffff);        // bits 128-152
  x.limb[6] = std::int32_t((load32(m + 19) >> 1) & 0x3ffffff); // bits 153-178
  x.limb[7] = std::int32_t((load32(m + 22) >> 3) & 0x1ffffff); // bits 179-203
  x.limb[8] = std::int32_t((load32(m + 25) >> 4) & 0x3ffffff); // bits 204-229
  x.limb[9] = std::int32_t(load32(m + 28) >> 6);               // bits 230-255, bit 255 kept
}

void fePack(const FieldElement& x, std::uint8_t m[32]) {
  // Subtract p once when x >= p (add 19, take 2^255 off x9's place); add p when
  // x9 is negative.
  const std::int64_t ld = (feIsOverflow(x) ? 1 : 0) - (x.limb[9] < 0 ? 1 : 0);
  const std::int64_t ud = -ld * (std::int64_t(1) << 25);
  std::int64_t t = 19 * ld + x.limb[0] + (std::int64_t(x.limb[1]) << 26);
  store32(m, t);
  t = (t >> 32) + std::int64_t(x.limb[2]) * (1 << 19);
  store32(m + 4, t);
  t = (t >> 32) + std::int64_t(x.limb[3]) * (1 << 13);
  store32(m + 8, t);
  t = (t >> 32) + std::int64_t(x.limb[4]) * (1 << 6);
  store32(m + 12, t);
  t = (t >> 32) + x.limb[5] + std::int64_t(x.limb[6]) * (1 << 25);
  store32(m + 16, t);
  t = (t >> 32) + std::int64_t(x.limb[7]) * (1 << 19);
  store32(m + 20, t);
  t = (t >> 32) + std::int64_t(x.limb[8]) * (1 << 12);
  store32(m + 24, t);
  t = (t >> 32) + (x.limb[9] + ud) * (1 << 6);
  store32(m + 28, t);
}
