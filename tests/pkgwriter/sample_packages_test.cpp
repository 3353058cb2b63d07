// Given the content the samples' README describes and the development key (its
// nonce derived from key and digest), the writer must make the samples byte for byte.
#include <gtest/gtest.h>

#include "model/version.h"
#include "pkgwriter/pkgwriter.h"
#include "support/scratch_dir.h"

using namespace pkgwriter;

namespace {

std::string sample(const std::string& name) {
  return testing_support::dataFile("packages/" + name);
}

// A package signed with the development key holding one file tree.
PackageLayout signedLayout(const std::string& name, Version version, std::uint32_t buildTime,
                           const FileTreeBuilder& tree) {
  PackageLayout layout;
  layout.name = name;
  layout.version = version;
  layout.buildTime = buildTime;
  layout.fileTree = tree.compressed();
  layout.signer = keyFileSigner(std::string(TEST_DATA_DIR) + "/dev-signer.secret");
  return layout;
}

}  // namespace

TEST(SamplePackages, PlainPackageWithEveryEntryType) {
  const std::string expected = sample("sample-plain.tpk");
  PackageLayout layout = signedLayout(
      "smp-plain", makeVersion(2, 3, Final, 1), 1704067200,
      FileTreeBuilder()
          .addDirectory("opt/sample", 0755, {.time = 1704067200})
          .addDirectory("opt/sample/bin", 0755, {.time = 1704067200})
          .addFile("opt/sample/bin/tool", "#!/bin/sh\necho sample\n", 0755, {.time = 1704067260})
          .addSymlink("opt/sample/bin/t", "tool")
          .addFile("opt/sample/etc/tool.conf", "level=3\n", 0640, {.gid = 50, .time = 1704067320})
          .addCharDevice("opt/sample/dev/null0", 0x0103, 0666, {.time = 1704067380})
          .addBlockDevice("opt/sample/dev/blk0", 0x0800, 0660, {.gid = 6, .time = 1704067440})
          .addFifo("opt/sample/run/ctl", 0620, {.uid = 100, .gid = 100, .time = 1704067500}));
  layout.text24 = "sample text";
  EXPECT_EQ(buildPackageFile(layout), expected);
  layout.signer = nullptr;  // unsigned: the body stops before the trailer
  EXPECT_EQ(buildPackageBody(layout), expected.substr(8, 257 - 8));
}

TEST(SamplePackages, RelationsWithListsScriptAndArchitecture) {
  PackageLayout layout =
      signedLayout("smp-rel", makeVersion(1, 4, Beta, 2), 1704070800,
                   FileTreeBuilder().addFile("opt/smp-rel/README", "relations sample\n", 0644,
                                             {.time = 1704070800}));
  layout.architecture = "powerpc";
  layout.note = "relations sample";
  layout.deps = {{.name = "smp-plain", .min = makeVersion(2, 3, Final, 0)},
                 {.name = "system", .min = 100689408, .max = 117466624}};
  layout.provides = {{.name = "smp-api", .min = 16803328, .max = 17393152, .extra = -1}};
  layout.conflicts = {{.name = "smp-old", .max = 16803328}};
  layout.onUninstall = "rm -f /var/run/smp-rel.pid\n";
  EXPECT_EQ(buildPackageFile(layout), sample("sample-relations.tpk"));
}

TEST(SamplePackages, ImagePackageWithFlagWord) {
  std::string image(300, '\0'), kernel(64, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = char((7 * i) & 0xFF);
  for (std::size_t i = 0; i < kernel.size(); ++i) kernel[i] = char(i);
  PackageLayout layout = signedLayout(
      "smp-image", makeVersion(5, 1, Final, 0), 1704078000,
      FileTreeBuilder().addFile("boot/kernel.bin", kernel, 0600, {.time = 1704078000}));
  layout.flags = bootImageFlag;
  layout.note = "image sample";
  layout.image = image;
  EXPECT_EQ(buildPackageFile(layout), sample("sample-image.tpk"));
}

TEST(SamplePackages, BundleOfTwoSignedMembers) {
  const Version version = makeVersion(3, 0, ReleaseCandidate, 1);
  const PackageLayout m1 = signedLayout(
      "smp-m1", version, 1704074401,
      FileTreeBuilder().addFile("opt/smp-m1/one", "first member\n", 0644, {.time = 1704074401}));
  PackageLayout m2 = signedLayout(
      "smp-m2", version, 1704074402,
      FileTreeBuilder().addFile("opt/smp-m2/two", "second member\n", 0644, {.time = 1704074402}));
  m2.onInstall = "echo installed > /var/log/smp-m2.log\n";

  BundleLayout bundle;
  bundle.name = "smp-bundle";
  bundle.version = version;
  bundle.buildTime = 1704074400;
  bundle.note = "bundle sample";
  bundle.defaultDisabled = std::vector<ListEntry>{{.name = "smp-m2"}};
  bundle.members = {buildPackageBody(m1), buildPackageBody(m2)};
  EXPECT_EQ(buildBundleFile(bundle), sample("sample-bundle.tpk"));
  // A signer without its key, or one giving a trailer of the wrong size, leaves
  // no half-signed output.
  const auto wrongSize = [](const Digest&, std::string& t) { return (t = "short", true); };
  for (const TrailerSigner& bad : {keyFileSigner("/nonexistent/key"), TrailerSigner(wrongSize)}) {
    m2.signer = bad;
    EXPECT_TRUE(buildPackageBody(m2).empty());
  }
  bundle.members[1] = buildPackageBody(m2);
  EXPECT_TRUE(buildBundleFile(bundle).empty());
}
