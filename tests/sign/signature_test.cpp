#include "sign/signature.h"

#include <gtest/gtest.h>

#include "sign/signature_ladder.h"
#include "vector_file.h"

using namespace sign_test;

// Every case of signatures.txt gives its expected result (among them flipped bits
// of r and v under the right digest), and where the check reaches the curve its
// intermediate h and Y match too ("-" where the check stops before them).
TEST(Signature, VectorFile) {
  int valid = 0, invalid = 0;
  for (const auto& f : readVectorLines("signatures.txt")) {
    ASSERT_EQ(f.size(), 7u) << f[0];
    SCOPED_TRACE(f[0]);
    const Bytes key = fromHex(f[1]), digest = fromHex(f[2]), trailer = fromHex(f[3]);
    ASSERT_EQ(trailer.size(), trailerSize);
    ASSERT_EQ(digest.size(), digestSize);
    ASSERT_EQ(key.size(), publicKeySize);
    const bool expect = f[4] == "1";
    EXPECT_EQ(checkSignature(digest.data(), trailer.data(), key.data()), expect);
    (expect ? valid : invalid)++;
    if (f[5] == "-") continue;
    std::uint8_t h[32], y[32];
    challengeScalar(h, digest.data(), trailer.data() + 20);
    EXPECT_EQ(toHex(h, 32), f[5]);
    jointLadderX(y, trailer.data() + 36, h, key.data());
    EXPECT_EQ(toHex(y, 32), f[6]);
  }
  EXPECT_GT(valid, 10);
  EXPECT_GT(invalid, 10);
}
