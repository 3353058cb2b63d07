#include "signer/signer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <vector>

#include "sign/signature.h"
#include "signer/scalar_mod_l.h"
#include "sign/vector_file.h"
#include "support/scratch_dir.h"

using namespace signer;
using namespace sign_test;

namespace {

const std::string devSecretPath = std::string(TEST_DATA_DIR) + "/dev-signer.secret";

Bytes devSecret() {
  std::uint8_t key[32];
  EXPECT_TRUE(readKeyFile(devSecretPath, key));
  return Bytes(key, key + 32);
}

std::string configLine(const std::string& name) {
  std::ifstream in(std::string(TEST_DATA_DIR) + "/../../config/" + name);
  std::string line;
  std::getline(in, line);
  return line;
}

// A random source that hands out prepared 32-byte blocks, then fails.
struct ScriptedRandom {
  std::vector<Bytes> blocks;
  std::size_t next = 0;
  bool operator()(std::uint8_t* buffer, std::size_t size) {
    if (next == blocks.size() || size != 32) return false;
    for (std::size_t i = 0; i < size; ++i) buffer[i] = blocks[next][i];
    ++next;
    return true;
  }
};

}  // namespace

// The development key reproduces the configured public key. y(aG) is odd for
// it, so it signs with L - a; L - a, whose point has the even y, is a secret of
// the same public key that signs with itself, and its trailers verify too.
TEST(Signer, DevelopmentKeyAndItsNegation) {
  const Bytes secret = devSecret();
  std::uint8_t negated[32], publicKey[32], scalar[32];
  const std::uint8_t zero[32] = {};
  scalarSub(negated, zero, secret.data());
  for (const std::uint8_t* key : {secret.data(), static_cast<const std::uint8_t*>(negated)}) {
    ASSERT_TRUE(publicKeyFromSecret(key, publicKey));
    EXPECT_EQ(toHex(publicKey, 32), configLine("dev-signer.public"));
    ASSERT_TRUE(signingScalar(key, scalar));
    EXPECT_EQ(toHex(scalar, 32), toHex(negated, 32));
  }
  std::uint8_t digest[20], trailer[68];
  for (int i = 0; i < 20; ++i) digest[i] = std::uint8_t(53 + i * 7);
  ASSERT_TRUE(signDigest(negated, digest, trailer));
  EXPECT_TRUE(checkSignature(digest, trailer));
}

TEST(Signer, GeneratedKeysSignForTheirOwnPublicKeyInvalidOnesNever) {
  std::uint8_t digest[20] = {}, trailer[68], publicKey[32];
  EXPECT_FALSE(signDigest(orderL, digest, trailer));
  EXPECT_FALSE(publicKeyFromSecret(Bytes(32, 0).data(), publicKey));

  // Zero and values at or above L are drawn again.
  Bytes tooBig(orderL, orderL + 32), drawn(32, 0x5A);
  drawn[31] = 0xE3;  // the top three bits are dropped: 0x03
  ScriptedRandom scripted{{Bytes(32, 0), tooBig, Bytes(32, 0xFF), drawn}};
  std::uint8_t secret[32];
  ASSERT_TRUE(generateSecret(secret, std::ref(scripted)));
  EXPECT_EQ(scripted.next, 4u);
  drawn[31] = 0x03;
  EXPECT_EQ(toHex(secret, 32), toHex(drawn.data(), 32));
  ScriptedRandom failing{{Bytes(32, 0)}};
  EXPECT_FALSE(generateSecret(secret, std::ref(failing)));

  ASSERT_TRUE(generateSecret(secret));
  ASSERT_TRUE(publicKeyFromSecret(secret, publicKey));
  ASSERT_TRUE(signDigest(secret, digest, trailer));
  EXPECT_TRUE(checkSignature(digest, trailer, publicKey));
  EXPECT_FALSE(checkSignature(digest, trailer));  // not the configured key
}

TEST(Signer, KeyFiles) {
  testing_support::ScratchDir dir;
  const Bytes secret = devSecret();
  EXPECT_EQ(keyFileText(secret.data()), testing_support::readFile(devSecretPath));

  std::uint8_t key[32];
  const std::string hex = toHex(secret.data(), 32);
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
