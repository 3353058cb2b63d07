// The writer against sample packages made by an independent tool: given the
// content the samples' README describes and the development key (whose signer
// derives its nonce from the key and the digest, as the samples' signer did),
// the files must come out byte for byte.
#include <gtest/gtest.h>

#include "model/version.h"
#include "pkgwriter/pkgwriter.h"
#include "support/scratch_dir.h"

using namespace pkgwriter;
using testing_support::readFile;

namespace {

std::string sample(const std::string& name) {
  return readFile(std::string(TEST_DATA_DIR) + "/packages/" + name);
}

// The 68-byte payload of the type-9 part that starts at offset.
std::string trailerAt(const std::string& file, std::size_t offset) {
  return file.substr(offset + partHeaderSize, trailerPayloadSize);
}

TrailerSigner devSigner() {
  return keyFileSigner(std::string(TEST_DATA_DIR) + "/dev-signer.secret");
}

std::string plainTree() {
  return FileTreeBuilder()
      .addDirectory("opt/sample", 0755, {.time = 1704067200})
      .addDirectory("opt/sample/bin", 0755, {.time = 1704067200})
      .addFile("opt/sample/bin/tool", "#!/bin/sh\necho sample\n", 0755, {.time = 1704067260})
      .addSymlink("opt/sample/bin/t", "tool")
      .addFile("opt/sample/etc/tool.conf", "level=3\n", 0640, {.gid = 50, .time = 1704067320})
      .addCharDevice("opt/sample/dev/null0", 0x0103, 0666, {.time = 1704067380})
      .addBlockDevice("opt/sample/dev/blk0", 0x0800, 0660, {.gid = 6, .time = 1704067440})
      .addFifo("opt/sample/run/ctl", 0620, {.uid = 100, .gid = 100, .time = 1704067500})
      .compressed();
}

}  // namespace

TEST(SamplePackages, PlainPackageWithEveryEntryType) {
  const std::string expected = sample("sample-plain.tpk");
  PackageSpec layout;
  layout.name = "smp-plain";
  layout.version = makeVersion(2, 3, Final, 1);
  layout.buildTime = 1704067200;
  layout.text24 = "sample text";
  layout.fileTree = plainTree();
  layout.signer = devSigner();
  EXPECT_EQ(buildPackageFile(layout), expected);
  // A trailer given as bytes is written as is, instead of the signer's.
  layout.trailer = trailerAt(expected, 257);
  layout.signer = nullptr;
  EXPECT_EQ(buildPackageFile(layout), expected);

  // Unsigned, the window is the whole body; with the trailer header it is the
  // README's digest.
  layout.trailer.reset();
  const std::string unsignedBody = buildPackageBody(layout);
  EXPECT_EQ(unsignedBody, expected.substr(8, 257 - 8));
  EXPECT_EQ(hexDigest(digestWindow(unsignedBody + encodePartHeader(TrailerPart, 68))),
            "fafe3069b24e46612888ee0d280d8d477af07da8");
}

TEST(SamplePackages, RelationsWithListsScriptAndArchitecture) {
  const std::string expected = sample("sample-relations.tpk");
  PackageSpec layout;
  layout.name = "smp-rel";
  layout.version = makeVersion(1, 4, Beta, 2);
  layout.buildTime = 1704070800;
  layout.architecture = "powerpc";
  layout.note = "relations sample";
  layout.deps = {{.name = "smp-plain", .min = makeVersion(2, 3, Final, 0)},
               {.name = "system", .min = 100689408, .max = 117466624}};
  layout.provides = {{.name = "smp-api", .min = 16803328, .max = 17393152, .extra = -1}};
  layout.conflicts = {{.name = "smp-old", .max = 16803328}};
  layout.onUninstall = "rm -f /var/run/smp-rel.pid\n";
  layout.fileTree =
      FileTreeBuilder()
          .addFile("opt/smp-rel/README", "relations sample\n", 0644, {.time = 1704070800})
          .compressed();
  layout.signer = devSigner();
  EXPECT_EQ(buildPackageFile(layout), expected);
}

TEST(SamplePackages, ImagePackageWithFlagWord) {
  const std::string expected = sample("sample-image.tpk");
  std::string image(300, '\0'), kernel(64, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = char((7 * i) & 0xFF);
  for (std::size_t i = 0; i < kernel.size(); ++i) kernel[i] = char(i);
  PackageSpec layout;
  layout.name = "smp-image";
  layout.version = makeVersion(5, 1, Final, 0);
  layout.buildTime = 1704078000;
  layout.flags = bootImageFlag;
  layout.note = "image sample";
  layout.image = image;
  layout.fileTree =
      FileTreeBuilder().addFile("boot/kernel.bin", kernel, 0600, {.time = 1704078000}).compressed();
  layout.signer = devSigner();
  EXPECT_EQ(buildPackageFile(layout), expected);
}

TEST(SamplePackages, BundleOfTwoSignedMembers) {
  const std::string expected = sample("sample-bundle.tpk");
  const Version version = makeVersion(3, 0, ReleaseCandidate, 1);
  PackageSpec m1;
  m1.name = "smp-m1";
  m1.version = version;
  m1.buildTime = 1704074401;
  m1.fileTree = FileTreeBuilder()
                    .addFile("opt/smp-m1/one", "first member\n", 0644, {.time = 1704074401})
                    .compressed();
  m1.signer = devSigner();
  PackageSpec m2;
  m2.name = "smp-m2";
  m2.version = version;
  m2.buildTime = 1704074402;
  m2.onInstall = "echo installed > /var/log/smp-m2.log\n";
  m2.fileTree = FileTreeBuilder()
                    .addFile("opt/smp-m2/two", "second member\n", 0644, {.time = 1704074402})
                    .compressed();
  m2.signer = devSigner();

  BundleSpec bundle;
  bundle.name = "smp-bundle";
  bundle.version = version;
  bundle.buildTime = 1704074400;
  bundle.note = "bundle sample";
  bundle.defaultDisabled = std::vector<ListEntry>{{.name = "smp-m2"}};
  bundle.members = {buildPackageBody(m1), buildPackageBody(m2)};
  const std::string file = buildBundleFile(bundle);
  EXPECT_EQ(file, expected);
  // A signer that fails leaves no half-signed output.
  m2.signer = [](const Digest&, std::string&) { return false; };
  EXPECT_TRUE(buildPackageBody(m2).empty());
  bundle.members[1] = buildPackageBody(m2);
  EXPECT_TRUE(buildBundleFile(bundle).empty());

  // Each member's window starts at its own type-1 part; the leading parts
  // belong to none.
  const std::vector<Digest> digests = packageDigests(file);
  ASSERT_EQ(digests.size(), 2u);
  EXPECT_EQ(hexDigest(digests[0]), "5d9d6b1b5d459633e12c2af06b77cbafcb19cea9");
  EXPECT_EQ(hexDigest(digests[1]), "f8a35c0ed59b3c46a1beff88696bc59eaad30dea");
}

TEST(SamplePackages, DigestsOfEverySampleMatchTheirReadme) {
  const struct {
    const char* file;
    const char* digest;
  } cases[] = {
      {"sample-plain.tpk", "fafe3069b24e46612888ee0d280d8d477af07da8"},
      {"sample-relations.tpk", "0ba232e53e02bbda8a86774de9de4d43034de853"},
      {"sample-image.tpk", "41dcef7d6be6b431d1c55d5bf6669a3bca948aac"},
      {"sample-plain-tampered.tpk", "63968c2409f80ed880cd68df045c805c634f9f3c"},
  };
  for (const auto& c : cases) {
    const std::vector<Digest> digests = packageDigests(sample(c.file));
    ASSERT_EQ(digests.size(), 1u) << c.file;
    EXPECT_EQ(hexDigest(digests[0]), c.digest) << c.file;
    // The window ends with the trailer part header, whose digest copy agrees
    // except in the tampered file.
    const std::string file = sample(c.file);
    const std::string copy = file.substr(file.size() - 68, 20);
    EXPECT_EQ(copy == std::string(digests[0].begin(), digests[0].end()),
              std::string(c.file) != "sample-plain-tampered.tpk")
        << c.file;
  }
}
