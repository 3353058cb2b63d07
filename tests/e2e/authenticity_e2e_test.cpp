// Streams and staged files that someone holding signed packages could make
// without the key, against a device with tool 1.0 installed; outcomes in
// tests/data/e2e/auth-attacks.txt, the cases explained in the README there.
#include <cstdlib>
#include <functional>

#include "e2e_helpers.h"
#include "support/fingerprint.h"

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

// The signed bundle with its own parts replaced by those changed makes: its
// members, the first one carrying its binding if it has one, stay as signed.
std::string tampered(bool bound, const std::function<void(pkgwriter::BundleLayout&)>& changed) {
  const std::string file = pkgwriter::buildBundleFile(suite(bound));
  pkgwriter::BundleLayout layout = suite(false);
  changed(layout);
  return pkgwriter::wrapFile(pkgwriter::encodeParts(pkgwriter::bundleParts(layout)) +
                             file.substr(pkgwriter::firstPackageOffset(file)));
}

// What a run leaves below the root, the message log aside.
std::string treeOf(const DeviceRoot& root) {
  std::string tree = outcome(ProcessResult{}, root);
  const std::size_t log = tree.find("/flash/postlog = ");
  return log == std::string::npos ? tree : tree.erase(log, tree.find('\n', log) + 1 - log);
}

struct Attack {
  std::string name;
  std::function<std::string()> bytes;
  bool refused;  // the device must stay as it was, the message log aside
};

const auto renamed = [](pkgwriter::BundleLayout& b) { b.name = "tool"; };
const auto flags = [](pkgwriter::BundleLayout& b) {
  b.flags = pkgwriter::imageMetaFlag | pkgwriter::bootImageFlag;
};
const auto disabling = [](pkgwriter::BundleLayout& b) { b.defaultDisabled = {{{"tool"}}}; };

const std::vector<Attack> attacks = {
    {"bundle-without-member",
     [] {
       return pkgwriter::wrapFile(pkgwriter::encodePart(
           pkgwriter::BundleHeaderPart, pkgwriter::encodeHeaderPayload("tool", v2, 0)));
     },
     true},
    {"renamed-bound", [] { return tampered(true, renamed); }, true},
    {"renamed-unbound", [] { return tampered(false, renamed); }, true},
    {"flags-bound", [] { return tampered(true, flags); }, true},
    {"flags-unbound", [] { return tampered(false, flags); }, false},
    {"disabled-list-bound", [] { return tampered(true, disabling); }, true},
    {"disabled-list-unbound", [] { return tampered(false, disabling); }, false},
    {"disabled-list-signed",
     [] {
       pkgwriter::BundleLayout layout = suite(true);
       disabling(layout);
       return pkgwriter::buildBundleFile(layout);
     },
     false},
    {"relations-signed",
     [] {
       pkgwriter::BundleLayout layout = suite(true);
       layout.deps = {{{"absent"}}};
       return pkgwriter::buildBundleFile(layout);
     },
     true},
    {"magic-flipped-bound",
     [] {
       pkgwriter::PackageLayout tool = package("tool", v2);
       tool.bound = true;
       std::string file = fileOf(tool);
       return file.replace(0, 8, fileOf(tool, pkgwriter::alternateMagic).substr(0, 8));
     },
     true},
};

TEST(Authenticity, StreamsMadeWithoutTheKey) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  std::string seen;
  ScratchDir canary;  // beside the root: no attack reaches it
  writeFile(canary / "kept", "canary\n");
  const std::string beside = fingerprint(canary.path());
  for (const Attack& attack : attacks) {
    DeviceRoot root;
    lay(root, "stream-tool-1.0.before");
    const std::string before = treeOf(root);
    ProcessOptions options;
    options.input = attack.bytes();
    seen += "case " + attack.name + "\n" + outcome(root.run({"-"}, options), root);
    if (attack.refused) {
      EXPECT_EQ(treeOf(root), before) << attack.name;
    }
    EXPECT_EQ(fingerprint(canary.path()), beside) << attack.name;
  }
  expectRecorded("auth-attacks", seen);
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
  writeFile(root.at("/flash/rw/pckg/replacement"), attacks.front().bytes());
  pkgwriter::BundleLayout signedList = suite(true);  // staged files are bound too
  disabling(signedList);
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
