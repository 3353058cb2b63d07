// A Montgomery ladder built from this project's field operations must agree
// with libsodium's scalar multiplication for random scalars and points.
#include <sodium.h>

#include <gtest/gtest.h>

#include <random>

#include "sign/field_element.h"
#include "sign/montgomery.h"
#include "vector_file.h"

using namespace sign_test;

namespace {

// x(n * P) for the x-coordinate u and the 256-bit little-endian scalar n, with
// the two-accumulator ladder over bits 254..0.
void ladder(std::uint8_t out[32], const std::uint8_t n[32], const std::uint8_t u[32]) {
  FieldElement x, r0x, r0z, r1x, r1z, t1, t2, t3, t4;
  feUnpack(x, u);
  feSet(r0x, 1);
  feSet(r0z, 0);
  feCopy(r1x, x);
  feSet(r1z, 1);
  for (int bit = 254; bit >= 0; --bit) {
    const bool set = (n[bit / 8] >> (bit % 8)) & 1;
    montPrep(t1, t2, r0x, r0z);
    montPrep(t3, t4, r1x, r1z);
    if (set) {
      montAdd(t1, t2, t3, t4, r0x, r0z, x);  // r0 = r0 + r1
      montDouble(t1, t2, t3, t4, r1x, r1z);  // r1 = 2 r1
    } else {
      montAdd(t3, t4, t1, t2, r1x, r1z, x);  // r1 = r0 + r1
      montDouble(t3, t4, t1, t2, r0x, r0z);  // r0 = 2 r0
    }
  }
  FieldElement inverse, affine;
  feRecip(inverse, r0z, false);
  feMul(affine, r0x, inverse);
  fePack(affine, out);
}

}  // namespace

TEST(SodiumOracle, LadderMatchesScalarMult) {
  ASSERT_GE(sodium_init(), 0);
  std::mt19937_64 rng(25519);
  int compared = 0;
  for (int n = 0; n < 300; ++n) {
    std::uint8_t scalar[32], point[32];
    for (int i = 0; i < 32; ++i) {
      scalar[i] = std::uint8_t(rng());
      point[i] = std::uint8_t(rng());
    }
    point[31] &= 0x7F;
    if (n % 10 == 0) {  // the base point, and non-canonical points p..2^255-1
      std::uint8_t low = std::uint8_t(n % 20 == 0 ? 9 : 0xED + n % 19);
      for (int i = 0; i < 32; ++i) point[i] = (n % 20 == 0) ? 0 : 0xFF;
      point[0] = low;
      if (n % 20 != 0) point[31] = 0x7F;
    }
    // The clamping X25519 applies to its scalar.
    scalar[0] &= 0xF8;
    scalar[31] = std::uint8_t((scalar[31] & 0x7F) | 0x40);

    std::uint8_t expected[32];
    if (crypto_scalarmult(expected, scalar, point) != 0) continue;  // small-order point
    std::uint8_t got[32];
    ladder(got, scalar, point);
    ASSERT_EQ(toHex(got, 32), toHex(expected, 32)) << "scalar " << toHex(scalar, 32)
                                                   << " point " << toHex(point, 32);
    ++compared;
  }
  EXPECT_GT(compared, 250);
}
