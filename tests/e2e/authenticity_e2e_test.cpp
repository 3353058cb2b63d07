// Bound files against unbound ones, and a staged file replaced after its
// check, against a device with tool 1.0 installed (the streams made without
// the key are the scenario script tests/data/e2e/auth-attacks.run).
#include <cstdlib>

#include "e2e_helpers.h"

namespace {

using namespace e2e;

const pkgwriter::TrailerSigner devKey =
    pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");

pkgwriter::BundleLayout suite(bool bound) {
  pkgwriter::BundleLayout layout;
  layout.name = "suite", layout.version = v1, layout.buildTime = 1704067200;
  for (const char* member : {"core", "extra"})
    layout.members.push_back(pkgwriter::buildPackageBody(package(member)));
  if (bound) layout.binder = devKey;
  return layout;
}

// A bound package or bundle leaves what the same one unbound leaves.
TEST(Authenticity, BoundFilesInstallAsUnboundOnes) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  pkgwriter::PackageLayout tool = package("tool", v2), boundTool = tool;
  boundTool.bound = true;
  for (const auto& [unbound, bound] : {std::pair{pkgwriter::buildBundleFile(suite(false)),
                                                 pkgwriter::buildBundleFile(suite(true))},
                                       {fileOf(tool), fileOf(boundTool)}}) {
    std::string outcomes[2];
    for (int i = 0; i < 2; ++i) {
      DeviceRoot root;
      lay(root, "stream-tool-1.0.before");
      ProcessOptions options;
      options.input = i == 0 ? unbound : bound;
      ProcessResult result = root.run({"-"}, options);
      std::string shown;  // the progress bars count the file's length
      for (const std::string& line : shownLines(result.output)) shown += line + "\n";
      result.output = shown;
      outcomes[i] = outcome(result, root);
    }
    EXPECT_EQ(outcomes[0], outcomes[1]);
    EXPECT_NE(outcomes[0].find("status 0"), std::string::npos) << outcomes[0];
  }
}

// The install script of a staged package puts a memberless bundle named tool
// in the place of the next staged file, an image package, after both were
// verified: the installer goes on reading what it verified, and keeps no
// image of the other file. A staged bundle made with the key disables tool.
TEST(Authenticity, AStagedFileReplacedAfterItsCheck) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  lay(root, "stream-tool-1.0.before");
  const std::string shell =
      "cp -L --parents $( (echo /bin/bash /bin/mv; ldd /bin/bash /bin/mv) | grep -o '/[^ :]*' | "
      "sort -u) " +
      root.at("/flash");
  ASSERT_EQ(0, std::system(shell.c_str())) << shell;
  makeDirs(root.at("/flash/dev"));
  pkgwriter::PackageLayout a = package("a"), b = package("b");
  a.onInstall = "mv /rw/pckg/replacement /rw/pckg/b.tpk\n";
  b.deps = {{pkgwriter::ListEntry{"a"}}};
  b.image = "image of b";
  makeDirs(root.at("/flash/rw/pckg"));
  writeFile(root.at("/flash/rw/pckg/a.tpk"), fileOf(a));
  writeFile(root.at("/flash/rw/pckg/b.tpk"), fileOf(b));
  writeFile(root.at("/flash/rw/pckg/replacement"),
            pkgwriter::wrapFile(pkgwriter::encodePart(
                pkgwriter::BundleHeaderPart, pkgwriter::encodeHeaderPayload("tool", v2, 0))));
  pkgwriter::BundleLayout signedList = suite(true);  // staged files are bound too
  signedList.defaultDisabled = {{{"tool"}}};
  writeFile(root.at("/flash/rw/pckg/suite.tpk"), pkgwriter::buildBundleFile(signedList));
  const Lines lines = shownLines(root.run({}).output);
  EXPECT_EQ(readFile(root.at("/flash/bin/b")), "b 1.0\n");
  EXPECT_EQ(readFile(root.at("/flash/bin/tool")), "tool 1.0\n");
  EXPECT_TRUE(exists(root.at("/flash/var/pdb/tool/version")));
  EXPECT_TRUE(exists(root.at("/flash/var/pdb/tool/disabled")));
  EXPECT_FALSE(exists(root.at("/flash/var/pdb/b/image")));
  EXPECT_FALSE(exists(root.at("/flash/rw/pckg/b.tpk")));
  EXPECT_NE(
      std::find(lines.begin(), lines.end(), "WARNING: package b image could not be installed"),
      lines.end());
}

}  // namespace
