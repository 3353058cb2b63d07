// Both SHA-1 implementations agree (the sample packages' signatures and digests
// check the values).
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
