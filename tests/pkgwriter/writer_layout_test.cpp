// Where the writer's digest windows end.
#include <gtest/gtest.h>

#include "pkgwriter/pkgwriter.h"

using namespace pkgwriter;

TEST(DigestWindow, EndsAtTrailerHeaderNextPackageOrEnd) {
  PackageLayout layout;
  layout.name = "w";
  layout.note = "note";
  const std::string unsignedBody = buildPackageBody(layout);

  layout.trailer = std::string(80, 'T');  // longer than 68: still ends at the part header
  const std::string signedBody = buildPackageBody(layout);
  EXPECT_EQ(digestWindowLength(signedBody), unsignedBody.size() + 6);
  EXPECT_EQ(digestWindow(signedBody + "junk after"), sha1(unsignedBody + encodePartHeader(9, 80)));

  // Two packages without trailers: the first window stops at the second header.
  const std::string two = unsignedBody + unsignedBody;
  EXPECT_EQ(digestWindowLength(two), unsignedBody.size());
  const std::vector<Digest> digests = packageDigests(wrapFile(two));
  ASSERT_EQ(digests.size(), 2u);
  EXPECT_EQ(digests[0], digests[1]);

  // A cut part header or payload is hashed to the end of the data.
  EXPECT_EQ(digestWindowLength(unsignedBody + std::string("\x09\x00", 2)), unsignedBody.size() + 2);
  const std::string cutPayload = unsignedBody + encodePartHeader(4, 1000) + "abc";
  EXPECT_EQ(digestWindow(cutPayload), sha1(cutPayload));
  // The file header and leading bundle parts are outside every window.
  EXPECT_TRUE(packageDigests("\x1E\xF1\xD0\xBA").empty());
}
