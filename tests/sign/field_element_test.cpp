// Packing at the edges of the field; the field operations themselves are held
// by the signature vectors (with their ladder intermediates) and the libsodium
// ladder oracle.
#include "sign/field_element.h"

#include <gtest/gtest.h>

#include "vector_file.h"

using namespace sign_test;

namespace {

FieldElement fromLimbs(std::initializer_list<std::int32_t> limbs) {
  FieldElement x{};
  int i = 0;
  for (std::int32_t l : limbs) x.limb[i++] = l;
  return x;
}

// p = 2^255 - 19 in limbs: 2^26 - 19, then 2^25 - 1 and 2^26 - 1 alternating.
FieldElement primeLimbs(std::int32_t addToLow) {
  FieldElement x;
  for (int i = 0; i < 10; ++i) x.limb[i] = (i % 2 == 0) ? (1 << 26) - 1 : (1 << 25) - 1;
  x.limb[0] = (1 << 26) - 19 + addToLow;
  return x;
}

}  // namespace

TEST(FieldElement, PackIsCanonical) {
  const std::string zero(64, '0');
  EXPECT_EQ(packHex(primeLimbs(-1)), "ec" + std::string(60, 'f') + "7f");  // p - 1
  EXPECT_EQ(packHex(primeLimbs(0)), zero);                   // p
  EXPECT_EQ(packHex(primeLimbs(1)), "01" + zero.substr(2));  // p + 1
  // x9 carrying past 25 bits: 2^255 + 5 = p + 24.
  EXPECT_EQ(packHex(fromLimbs({5, 0, 0, 0, 0, 0, 0, 0, 0, 1 << 25})), "18" + zero.substr(2));
  // A negative x9: 1 - 2^230 packs as p + 1 - 2^230, which is even.
  const FieldElement negative = fromLimbs({1, 0, 0, 0, 0, 0, 0, 0, 0, -1});
  FieldElement expected = primeLimbs(1);
  expected.limb[9] -= 1;
  EXPECT_EQ(packHex(negative), packHex(expected));
  EXPECT_EQ(feIsNegative(negative), 0);
}
