// Both SHA-1 implementations: the FIPS 180 example messages, and agreement.
#include <gtest/gtest.h>

#include "pkgfile/builtin_sha1.h"
#include "pkgfile/sha1.h"
#include "support/scratch_dir.h"

namespace {

std::string digestHex(Hash& hash) {
  std::uint8_t out[20];
  hash.digest(out);
  return testing_support::toHex(out, sizeof out);
}

}  // namespace

TEST(Sha1, StandardVectors) {
  SHA1 hash;
  EXPECT_EQ(digestHex(hash), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  hash.update("abc", 3);
  EXPECT_EQ(digestHex(hash), "a9993e364706816aba3e25717850c26c9cd0d89d");
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  for (int round = 0; round < 2; ++round) {
    hash.update(twoBlocks.data(), twoBlocks.size());
    EXPECT_EQ(digestHex(hash), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  }
  const std::string thousand(1000, 'a');
  for (int i = 0; i < 1000; ++i) hash.update(thousand.data(), thousand.size());
  EXPECT_EQ(digestHex(hash), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

// Every length across the padding edges, fed whole to one and in uneven
// pieces to the other: both implementations must agree.
TEST(Sha1Agreement, SplitUpdatesOnEveryLength) {
  std::string message;
  for (int i = 0; i < 200; ++i) message += char(i * 31 + 5);
  for (std::size_t length = 0; length <= message.size(); ++length) {
    SHA1 whole;
    BuiltinSha1 pieces;
    whole.update(message.data(), length);
    for (std::size_t at = 0, step = 1; at < length; at += step, step = step * 3 % 67 + 1)
      pieces.update(message.data() + at, std::min(step, length - at));
    ASSERT_EQ(digestHex(whole), digestHex(pieces)) << "length " << length;
  }
}
