// The upgrade run over package files made by the writer in the staging
// directories; outcomes in tests/data/e2e/upgrade-<case>.txt, the cases
// explained in the README there.
#include <sys/stat.h>

#include <functional>

#include "e2e_helpers.h"

namespace {

using namespace e2e;

const std::string staged = "/flash/rw/pckg/";

// A signed package with the one file opt/<name>, changed by change.
std::string packageFile(const std::string& name,
                        const std::function<void(pkgwriter::PackageLayout&)>& change = {}) {
  pkgwriter::PackageLayout layout = package(name, v1, "opt/");
  if (change) change(layout);
  return fileOf(layout);
}

// Laid out from tests/data/e2e/upgrade-<name>.before.txt.
struct Root : DeviceRoot {
  explicit Root(const std::string& name = "base") { lay(*this, "upgrade-" + name + ".before"); }
};

// The outcome with the lines of the output and of the message log sorted.
std::string sortedOutcome(ProcessResult result, const DeviceRoot& root) {
  const auto sorted = [](const std::string& text) {
    Lines lines = shownLines(text);
    std::sort(lines.begin(), lines.end());
    std::string joined;
    for (const std::string& line : lines) joined += line + "\n";
    return joined;
  };
  result.output = sorted(result.output);
  writeFile(root.at("/flash/postlog"), sorted(readFile(root.at("/flash/postlog"))));
  return outcome(result, root);
}

// Which directories and names count: without a candidate in the first
// directory the second one counts, and /ram/ only with --reinstall.
TEST(UpgradeRun, StagingDirectoriesNamesAndBrokenFiles) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const Root root;
  makeDirs(root.at("/flash/var/pckg"));
  writeFile(root.at(staged + "a.tpk"), packageFile("a"));
  writeFile(root.at(staged + "broken.tpk"), packageFile("x", [](auto& p) { p.signer = {}; }));
  for (const char* ignored : {".hidden.tpk", "b.TPK", "b.tpk.txt"})
    writeFile(root.at(staged + ignored), packageFile("b"));
  writeFile(root.at("/flash/var/pckg/c.lpk"), packageFile("c"));
  writeFile(root.at("/ram/d.tpk"), packageFile("d"));
  std::string seen = sortedOutcome(root.run({}), root);
  for (const Lines& args : {Lines{"-q"}, Lines{"-q", "--reinstall"}})
    seen += outcome(root.run(args), root);
  expectRecorded("upgrade-staging", seen);
}

// Which release goes in, and in which order.
TEST(UpgradeRun, SelectionAndInstallationOrder) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  std::string seen;
  for (const bool downgrade : {false, true}) {
    const Root root;
    writeFile(root.at(staged + "q.tpk"), packageFile("q", [](auto& q) { q.deps = {{{"p"}}}; }));
    writeFile(root.at(staged + "p1.tpk"), packageFile("p"));
    writeFile(root.at(staged + "p2.tpk"), fileOf(package("p", v2, "opt/")));
    if (downgrade) writeFile(root.at("/rw/DOWNGRADE"), "");
    const ProcessResult result = root.run({});
    const Lines lines = shownLines(result.output);  // the scan's lines come in any order
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.end()[-3].rfind("WARNING: omitting package p-", 0), 0u) << lines.end()[-3];
    EXPECT_EQ(lines.end()[-2].rfind("installed p-", 0), 0u) << lines.end()[-2];
    EXPECT_EQ(lines.back(), "installed q-1.0");
    seen += sortedOutcome(result, root);
  }
  const Root root;
  writeFile(root.at(staged + "m.tpk"), packageFile("m"));
  writeFile(root.at(staged + "suite.tpk"),
            bundleFile("suite", v1, {package("m", v1, "opt/"), package("n", v1, "opt/")}));
  expectRecorded("upgrade-selection", seen + sortedOutcome(root.run({}), root));
}

TEST(UpgradeRun, ImagesAndBootImageLinks) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const Root root("room-in-ram");
  const auto withImage = [](auto& p) {
    p.image = "boot image of " + p.name, p.flags = pkgwriter::bootImageFlag;
  };
  const std::string file = packageFile("kernel", withImage);
  writeFile(root.at(staged + "kernel.tpk"), file);
  std::string seen = outcome(root.run({"-q"}), root);
  EXPECT_EQ(readFile(root.at("/flash/var/pdb/kernel/image")), file);

  const std::string next = packageFile("kernel", [&](auto& p) { withImage(p), p.version = v2; });
  writeFile(root.at(staged + "kernel.tpk"), next);
  ::unlink(root.at("/flash/var/pdb/kernel/image").c_str());
  makeDirs(root.at("/flash/var/pdb/kernel/image/blocked"));
  makeDirs(root.at("/rw/pckg"));
  seen += outcome(root.run({}), root);
  EXPECT_EQ(readFile(root.at("/rw/pckg/.images/kernel")), next);
  expectRecorded("upgrade-images", seen);
}

TEST(UpgradeRun, FailedFilesGoBackAndLostPackagesAreEnabledAgain) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const Root root("failed-files");
  auto n = package("n", v1, "../");
  n.conflicts = {{{"x"}}};
  writeFile(root.at(staged + "n.tpk"), fileOf(n));
  writeFile(root.at(staged + "f.tpk"), packageFile("f", [](auto& f) { f.deps = {{{"nothere"}}}; }));
  const ProcessResult result = root.run({});
  EXPECT_EQ(shownLines(result.output).back(), "enabled x-1.0");
  expectRecorded("upgrade-failed-files", sortedOutcome(result, root));
}

TEST(UpgradeRun, MessageLogAndMarkers) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const Root root;
  writeFile(root.at("/flash/postlog"), "earlier\nunterminated");
  writeFile(root.at("/rw/DOWNGRADE"), "");
  std::string seen = outcome(root.run({}), root);
  writeFile(root.at(staged + "a.tpk"), packageFile("a"));
  expectRecorded("upgrade-message-log", seen + outcome(root.run({}), root));
}

TEST(UpgradeRun, AnEmptyDeviceHaltsForGood) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  makeDirs(root.at(staged));
  writeFile(root.at(staged + "broken.tpk"), "not a package");
  ProcessOptions options;
  options.timeLimitSeconds = 5;
  const auto result = root.run({}, options);
  EXPECT_EQ(result.stateAtTimeLimit, 'S') << "the installer should wait, idle, until it is ended";
  const std::string end = "\n\nERROR: router installation failed!!!\nPlease, reinstall.\n";
  EXPECT_TRUE(result.output.ends_with(end)) << result.output;
  EXPECT_FALSE(exists(root.at("/flash/postlog")));
  EXPECT_FALSE(exists(root.at("/flash/PCKGS_CHANGED")));
}

}  // namespace
