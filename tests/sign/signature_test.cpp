#include "sign/signature.h"

#include <gtest/gtest.h>

#include "sign/signature_ladder.h"
#include "vector_file.h"

using namespace sign_test;

namespace {

struct SignatureCase {
  std::string label;
  Bytes publicKey, digest, trailer;
  bool expect;
  std::string h, y;  // "-" where the check stops before them
};

std::vector<SignatureCase> signatureCases() {
  std::vector<SignatureCase> cases;
  for (const auto& f : readVectorLines("signatures.txt")) {
    EXPECT_EQ(f.size(), 7u) << f[0];
    if (f.size() != 7) continue;
    cases.push_back({f[0], fromHex(f[1]), fromHex(f[2]), fromHex(f[3]), f[4] == "1", f[5], f[6]});
  }
  return cases;
}

}  // namespace

// Every case of signatures.txt gives its expected result (among them flipped bits
// of r and v under the right digest), and where the check reaches the curve its
// intermediate h and Y match too.
TEST(Signature, VectorFile) {
  const auto cases = signatureCases();
  ASSERT_GE(cases.size(), 20u);
  int valid = 0, invalid = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(c.trailer.size(), trailerSize);
    ASSERT_EQ(c.digest.size(), digestSize);
    ASSERT_EQ(c.publicKey.size(), publicKeySize);
    EXPECT_EQ(checkSignature(c.digest.data(), c.trailer.data(), c.publicKey.data()), c.expect);
    (c.expect ? valid : invalid)++;
    if (c.h == "-") continue;
    std::uint8_t h[32];
    challengeScalar(h, c.digest.data(), c.trailer.data() + 20);
    EXPECT_EQ(toHex(h, 32), c.h);
    std::uint8_t y[32];
    jointLadderX(y, c.trailer.data() + 36, h, c.publicKey.data());
    EXPECT_EQ(toHex(y, 32), c.y);
  }
  EXPECT_GT(valid, 10);
  EXPECT_GT(invalid, 10);
}
