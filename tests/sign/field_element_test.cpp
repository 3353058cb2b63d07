// Packing at the edges of the field; the field operations themselves are held
// by the signature vectors (with their ladder intermediates).
#include "sign/field_element.h"

#include <gtest/gtest.h>

#include "vector_file.h"

using namespace sign_test;

TEST(FieldElement, PackIsCanonical) {
  const auto rows = readVectorLines("sign/field_pack.txt");
  EXPECT_EQ(rows.size(), 5u);
  for (const auto& f : rows) {
    ASSERT_EQ(f.size(), 12u) << f[0];
    FieldElement x{};
    for (int i = 0; i < 10; ++i) x.limb[i] = std::stoi(f[1 + i]);
    EXPECT_EQ(packHex(x), f[11]) << f[0];
    EXPECT_EQ(feIsNegative(x), std::stoi(f[11].substr(0, 2), nullptr, 16) & 1) << f[0];
  }
}
