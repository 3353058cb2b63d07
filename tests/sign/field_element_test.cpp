#include "sign/field_element.h"

#include <gtest/gtest.h>

#include <map>

#include "sign/hash256.h"
#include "sign/montgomery.h"
#include "sign/signature_ladder.h"
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

std::string hexOfLimbs(const FieldElement& x) {
  std::string s;
  for (int i = 0; i < 10; ++i) s += (i ? " " : "") + std::to_string(x.limb[i]);
  return s;
}

FieldElement affine(const FieldElement& x, const FieldElement& z) {
  FieldElement inverse, out;
  feRecip(inverse, z, false);
  feMul(out, x, inverse);
  return out;
}

}  // namespace

// Every line of field.txt, each operation run exactly as the line describes.
TEST(FieldElement, VectorFile) {
  std::map<std::string, int> seen;
  for (const auto& f : readVectorLines("field.txt")) {
    const std::string& op = f[0];
    SCOPED_TRACE(op + " " + (f.size() > 1 ? f[1] : ""));
    if (op == "pack_unpack") {
      EXPECT_EQ(packHex(unpackHex(f[1])), f[3]);
    } else if (op == "unpack_limbs") {
      std::string limbs;
      for (std::size_t i = 3; i < f.size(); ++i) limbs += (i > 3 ? " " : "") + f[i];
      EXPECT_EQ(hexOfLimbs(unpackHex(f[1])), limbs);
    } else if (op == "unpack_reduce_pack") {
      FieldElement x = unpackHex(f[1]);
      feMulSmall(x, x, 1);
      EXPECT_EQ(packHex(x), f[3]);
    } else if (op == "recip" || op == "recip_assist") {
      FieldElement y;
      feRecip(y, unpackHex(f[1]), op == "recip_assist");
      EXPECT_EQ(packHex(y), f[3]);
    } else if (op == "sqrt") {
      FieldElement x;
      feSqrt(x, unpackHex(f[1]));
      EXPECT_EQ(packHex(x), f[3]);
      EXPECT_EQ(feIsNegative(x), std::stoi(f[4]));
    } else if (op == "x_to_y2") {
      FieldElement t, y2;
      xToY2(t, y2, unpackHex(f[1]));
      EXPECT_EQ(packHex(y2), f[3]);
    } else if (op == "base_two_y") {
      EXPECT_EQ(packHex(BaseTwoY), f[2]);
    } else if (op == "mont_double_base") {
      FieldElement x = unpackHex(f[1]), z, t1, t2, t3, t4, bx, bz;
      feSet(z, 1);
      montPrep(t3, t4, x, z);
      montDouble(t1, t2, t3, t4, bx, bz);
      EXPECT_EQ(packHex(bx), f[3]);
      EXPECT_EQ(packHex(bz), f[4]);
      EXPECT_EQ(packHex(affine(bx, bz)), f[5]);
    } else if (op == "mont_add") {
      FieldElement px = unpackHex(f[1]), qx = unpackHex(f[2]), one, t1, t2, t3, t4, ax, az;
      feSet(one, 1);
      montPrep(t1, t2, px, one);
      montPrep(t3, t4, qx, one);
      montAdd(t1, t2, t3, t4, ax, az, qx);  // P - Q = 2G - G = G
      EXPECT_EQ(packHex(ax), f[4]);
      EXPECT_EQ(packHex(az), f[5]);
      EXPECT_EQ(packHex(affine(ax, az)), f[6]);
    } else if (op == "hash256") {
      const std::string text = f[1].substr(1, f[1].size() - 2);
      std::uint8_t out[32];
      hash256(out, reinterpret_cast<const std::uint8_t*>(text.data()), std::uint32_t(text.size()));
      EXPECT_EQ(toHex(out, 32), f[3]);
    } else if (op == "setup") {  // the ladder's sum and difference points for a key
      LadderPoints points;
      setupLadderPoints(points, fromHex(f[1]).data());
      EXPECT_EQ(packHex(points.p[1]), f[1]);
      EXPECT_EQ(points.rootNegative, std::stoi(f[5]));
      EXPECT_EQ(packHex(points.s[0]), f[6]);
      EXPECT_EQ(packHex(points.s[1]), f[7]);
    } else {
      ADD_FAILURE() << "unknown operation " << op;
    }
    ++seen[op];
  }
  EXPECT_EQ(seen.size(), 12u);  // every operation of the file was run
}

TEST(FieldElement, PackIsCanonical) {
  const std::string zero(64, '0');
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
