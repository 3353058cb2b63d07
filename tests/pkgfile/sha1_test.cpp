// Both SHA-1 implementations against the FIPS 180 example messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pkgfile/builtin_sha1.h"
#include "pkgfile/sha1.h"

namespace {

std::string hex(const std::uint8_t* bytes, std::size_t length) {
  std::string text;
  char pair[3];
  for (std::size_t i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

std::string digestHex(Hash& hash) {
  std::uint8_t out[20];
  hash.digest(out);
  return hex(out, sizeof out);
}

template <typename H>
class Sha1Test : public ::testing::Test {};

using Implementations = ::testing::Types<SHA1, BuiltinSha1>;
TYPED_TEST_SUITE(Sha1Test, Implementations);

TYPED_TEST(Sha1Test, StandardVectors) {
  TypeParam hash;
  EXPECT_EQ(digestHex(hash), "da39a3ee5e6b4b0d3255bfef95601890afd80709");  // empty

  hash.update("abc", 3);
  EXPECT_EQ(digestHex(hash), "a9993e364706816aba3e25717850c26c9cd0d89d");

  // digest() restarts: the same message again gives the same digest.
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  hash.update(twoBlocks.data(), twoBlocks.size());
  EXPECT_EQ(digestHex(hash), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  hash.update(twoBlocks.data(), twoBlocks.size());
  EXPECT_EQ(digestHex(hash), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");

  const std::string thousand(1000, 'a');
  for (int i = 0; i < 1000; ++i) hash.update(thousand.data(), thousand.size());
  EXPECT_EQ(digestHex(hash), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TYPED_TEST(Sha1Test, SplitUpdatesMatchOneUpdate) {
  // Lengths around the 55/56/64-byte padding edges, fed whole and in uneven pieces.
  std::string message;
  for (int i = 0; i < 300; ++i) message += char('A' + (i * 7) % 26);
  for (std::size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 300u}) {
    TypeParam whole, pieces;
    whole.update(message.data(), length);
    std::size_t at = 0, step = 1;
    while (at < length) {
      const std::size_t take = std::min(step, length - at);
      pieces.update(message.data() + at, take);
      at += take;
      step = step * 3 % 67 + 1;
    }
    EXPECT_EQ(digestHex(whole), digestHex(pieces)) << "length " << length;
  }
}

TEST(Sha1Agreement, BuiltinMatchesPlatformOnEveryLength) {
  std::string message;
  for (int i = 0; i < 200; ++i) message += char(i * 31 + 5);
  for (std::size_t length = 0; length <= message.size(); ++length) {
    SHA1 platform;
    BuiltinSha1 builtin;
    platform.update(message.data(), length);
    builtin.update(message.data(), length);
    ASSERT_EQ(digestHex(platform), digestHex(builtin)) << "length " << length;
  }
}

}  // namespace
