#include "signer/signer.h"

#include <gtest/gtest.h>

#include "sign/signature.h"
#include "signer/scalar_mod_l.h"
#include "sign/vector_file.h"
#include "support/scratch_dir.h"

using namespace signer;
using namespace sign_test;

namespace {

const std::string devSecretPath = std::string(TEST_DATA_DIR) + "/dev-signer.secret";
const std::string devPublicPath = std::string(TEST_DATA_DIR) + "/../../config/dev-signer.public";

// A random source that hands out the given 32-byte blocks, then fails.
RandomSource scripted(std::vector<Bytes> blocks) {
  return [blocks = std::move(blocks), next = 0u](std::uint8_t* out, std::size_t size) mutable {
    if (next == blocks.size() || size != 32) return false;
    std::copy(blocks[next].begin(), blocks[next].end(), out);
    return ++next > 0;
  };
}

}  // namespace

// The development key reproduces the configured public key. y(aG) is odd for
// it, so it signs with L - a; L - a, whose point has the even y, is a secret of
// the same public key that signs with itself, and its trailers verify too.
TEST(Signer, DevelopmentKeyAndItsNegation) {
  std::uint8_t secret[32], negated[32], publicKey[32], scalar[32];
  ASSERT_TRUE(readKeyFile(devSecretPath, secret));
  const std::uint8_t zero[32] = {};
  scalarSub(negated, zero, secret);
  for (const std::uint8_t* key : {secret, negated}) {
    ASSERT_TRUE(publicKeyFromSecret(key, publicKey));
    EXPECT_EQ(toHex(publicKey, 32) + "\n", testing_support::readFile(devPublicPath));
    ASSERT_TRUE(signingScalar(key, scalar));
    EXPECT_EQ(toHex(scalar, 32), toHex(negated, 32));
  }
  std::uint8_t digest[20], trailer[68];
  for (int i = 0; i < 20; ++i) digest[i] = std::uint8_t(53 + i * 7);
  ASSERT_TRUE(signDigest(negated, digest, trailer));
  EXPECT_TRUE(checkSignature(digest, trailer));
}

TEST(Signer, GeneratedKeysSignForTheirOwnPublicKeyInvalidOnesNever) {
  std::uint8_t digest[20] = {}, trailer[68], publicKey[32], secret[32];
  EXPECT_FALSE(signDigest(orderL, digest, trailer));
  EXPECT_FALSE(publicKeyFromSecret(Bytes(32, 0).data(), publicKey));

  // Zero and values at or above L are drawn again, until the source fails.
  Bytes tooBig(orderL, orderL + 32), drawn(32, 0x5A);
  drawn[31] = 0xE3;  // the top three bits are dropped: 0x03
  ASSERT_TRUE(generateSecret(secret, scripted({Bytes(32, 0), tooBig, Bytes(32, 0xFF), drawn})));
  drawn[31] = 0x03;
  EXPECT_EQ(toHex(secret, 32), toHex(drawn.data(), 32));
  EXPECT_FALSE(generateSecret(secret, scripted({Bytes(32, 0)})));

  ASSERT_TRUE(generateSecret(secret));
  ASSERT_TRUE(publicKeyFromSecret(secret, publicKey));
  ASSERT_TRUE(signDigest(secret, digest, trailer));
  EXPECT_TRUE(checkSignature(digest, trailer, publicKey));
  EXPECT_FALSE(checkSignature(digest, trailer));  // not the configured key
}

TEST(Signer, KeyFiles) {
  testing_support::ScratchDir dir;
  std::uint8_t secret[32], key[32];
  ASSERT_TRUE(readKeyFile(devSecretPath, secret));
  EXPECT_EQ(keyFileText(secret), testing_support::readFile(devSecretPath));
  const std::string hex = toHex(secret, 32);
  std::string upper = hex;
  for (char& c : upper) c = char(std::toupper(c));
  testing_support::writeFile(dir / "upper", upper);  // no final newline
  ASSERT_TRUE(readKeyFile(dir / "upper", key));
  EXPECT_EQ(toHex(key, 32), hex);

  for (const std::string& bad : {hex.substr(1) + "\n", hex + "0\n", hex + "\n\n",
                                 "g" + hex.substr(1) + "\n", hex + " \n", std::string()}) {
    testing_support::writeFile(dir / "bad", bad);
    EXPECT_FALSE(readKeyFile(dir / "bad", key)) << bad;
  }
  EXPECT_FALSE(readKeyFile(dir / "missing", key));
}
