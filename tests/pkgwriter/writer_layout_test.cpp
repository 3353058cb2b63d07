// Layout choices of the writer that the samples do not exercise: the full
// part order, the flag word, name cutting, variant bytes, raw input for
// malformed packages, and where digest windows end.
#include <gtest/gtest.h>

#include "pkgwriter/pkgwriter.h"

using namespace pkgwriter;

namespace {

std::vector<std::uint16_t> partTypes(std::string_view body) {
  std::vector<std::uint16_t> types;
  std::size_t at = 0;
  while (at + 6 <= body.size()) {
    const auto* b = reinterpret_cast<const unsigned char*>(body.data()) + at;
    types.push_back(std::uint16_t(b[0] | b[1] << 8));
    at += 6 + (std::size_t(b[2]) | std::size_t(b[3]) << 8 | std::size_t(b[4]) << 16 |
               std::size_t(b[5]) << 24);
  }
  EXPECT_EQ(at, body.size());
  return types;
}

}  // namespace

TEST(PackageLayout, PartsComeInTheOrderTheInstallerTakesThem) {
  PackageLayout layout;
  layout.name = "all";
  layout.text24 = "a";
  layout.architecture = "b";
  layout.text2 = "c";
  layout.note = "d";
  layout.deps = std::vector<ListEntry>{};
  layout.provides = std::vector<ListEntry>{{.name = "p"}};
  layout.conflicts = std::vector<ListEntry>{};
  layout.image = "img";
  layout.onInstall = "i";
  layout.onUninstall = "u";
  layout.fileTree = FileTreeBuilder().compressed();
  layout.extraParts = {{77, "x"}};
  layout.trailer = std::string(68, '\0');
  EXPECT_EQ(partTypes(buildPackageBody(layout)),
            (std::vector<std::uint16_t>{1, 24, 16, 2, 23, 3, 19, 17, 21, 7, 8, 4, 77, 9}));

  BundleLayout bundle;
  bundle.name = "b";
  bundle.note = "n";
  bundle.image = "";
  bundle.defaultDisabled = std::vector<ListEntry>{};
  bundle.members = {buildPackageBody(layout)};
  const std::vector<std::uint16_t> types = partTypes(buildBundleBody(bundle));
  EXPECT_EQ(std::vector<std::uint16_t>(types.begin(), types.begin() + 5),
            (std::vector<std::uint16_t>{18, 23, 21, 20, 1}));
}

TEST(PackageLayout, HeaderAndListFieldEncoding) {
  const std::string withFlags =
      encodeHeaderPayload("sixteen-bytes-xx-and-more", 1, 2, true, 0x80000003);
  ASSERT_EQ(withFlags.size(), 36u);
  EXPECT_EQ(withFlags.substr(0, 16), "sixteen-bytes-xx") << "cut at 16 bytes, no NUL";
  EXPECT_EQ(withFlags.substr(32), std::string("\x03\x00\x00\x80", 4));

  const std::string entry = encodeListEntry(
      {.name = "dep", .min = 0x11223344, .max = 0x55667788, .extra = -2, .unused = 0xAABBCCDD});
  EXPECT_EQ(entry, std::string("dep") + std::string(13, '\0') +
                       "\x44\x33\x22\x11\xDD\xCC\xBB\xAA\x88\x77\x66\x55\xFE\xFF\xFF\xFF");
  const std::string list = encodeListPayload(std::vector<ListEntry>(258));
  EXPECT_EQ(list.substr(0, 2), "\x02\x01");
  EXPECT_EQ(list.size(), 2u + 258 * 32);

  EXPECT_EQ(encodeFileHeader(alternateMagic, 0x01020304), "\xFB\x0F\x10\xA1\x04\x03\x02\x01");
}

TEST(FileTree, EntryBytesAndRawEntries) {
  FileTreeBuilder tree;
  tree.addFile("/abs", "data", 04711,
               {.uid = 0x0102, .gid = 0x0304, .time = 0x05060708, .variant = 9})
      .addRaw(0xC1ED, "sock", "zz")
      .addBytes("cut");
  EXPECT_EQ(tree.entryCount(), 2u);
  EXPECT_EQ(tree.raw(),
            std::string("\xC9\x89\x02\x01\x04\x03\x00\x00\x08\x07\x06\x05", 12) +
                std::string(11, '\0') + "\x09" + std::string("\x04\x00\x00\x00\x04\x00", 6) +
                "/absdata" + "\xED\xC1" + std::string(22, '\0') +
                std::string("\x02\x00\x00\x00\x04\x00", 6) + "sockzzcut");
  EXPECT_EQ(FileTreeBuilder().compressed(), zlibCompress("")) << "an empty tree is still a stream";
}

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

TEST(Signing, TrailerOfTheWrongSizeOrWithoutKeyIsRefused) {
  PackageLayout layout;
  layout.name = "s";
  const std::string body = buildPackageBody(layout);
  EXPECT_TRUE(signBody(body, [](const Digest&, std::string& t) {
                t = "short";
                return true;
              }).empty());
  EXPECT_TRUE(signBody(body, keyFileSigner("/nonexistent/key")).empty());
}
