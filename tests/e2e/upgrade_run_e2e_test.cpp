// The upgrade run over staged package files: "installer -r <root>" with
// files made by the project's writer in the staging directories.
#include <sys/stat.h>

#include "e2e_helpers.h"

namespace {

using namespace e2e;

const std::string staged = "/flash/rw/pckg/";

// A signed package with the one file opt/<name>.
std::string packageFile(const std::string& name, Version version = v1) {
  return fileOf(package(name, version, "opt/"));
}
template <class Change>
std::string packageFile(const std::string& name, Change change) {
  pkgwriter::PackageLayout layout = package(name, v1, "opt/");
  change(layout);
  return fileOf(layout);
}

void installBase(const DeviceRoot& root, const std::string& name = "base") {
  makeDirs(root.at(staged));
  installRecord(root, name, {{"files", ""}});
}

Lines sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

bool installed(const DeviceRoot& root, const std::string& name) {
  return exists(root.at("/flash/var/pdb/" + name + "/version"));
}

TEST(UpgradeRun, StagingDirectoriesNamesAndBrokenFiles) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  installBase(root);
  makeDirs(root.at("/flash/var/pckg"));
  writeFile(root.at(staged + "a.tpk"), packageFile("a"));
  writeFile(root.at(staged + "broken.tpk"), packageFile("x", [](auto& p) { p.signer = {}; }));
  for (const char* ignored : {".hidden.tpk", "b.TPK", "b.tpk.txt"})
    writeFile(root.at(staged + ignored), packageFile("b"));
  writeFile(root.at("/flash/var/pckg/c.lpk"), packageFile("c"));
  writeFile(root.at("/ram/d.tpk"), packageFile("d"));

  auto result = root.run({});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(sorted(shownLines(result.output)), (Lines{"", "", "ERROR: broken package broken.tpk",
                                                      "installed a-1.0", "verified a.tpk"}));
  EXPECT_TRUE(installed(root, "a"));
  EXPECT_EQ(readFile(root.at("/flash/opt/a")), contentOf("a", v1));
  EXPECT_FALSE(exists(root.at(staged + "a.tpk")));
  for (const char* left : {"broken.tpk", ".hidden.tpk", "b.TPK", "b.tpk.txt"})
    EXPECT_TRUE(exists(root.at(staged + left))) << left;
  EXPECT_FALSE(installed(root, "c"));
  EXPECT_TRUE(exists(root.at("/flash/PCKGS_CHANGED")));

  // Without a candidate in the first directory the second one counts, and
  // /ram/ only with --reinstall.
  result = root.run({"-q"});
  EXPECT_TRUE(installed(root, "c"));
  EXPECT_FALSE(exists(root.at("/flash/var/pckg/c.lpk")));
  EXPECT_FALSE(installed(root, "d"));
  root.run({"-q", "--reinstall"});
  EXPECT_TRUE(installed(root, "d"));
  EXPECT_FALSE(exists(root.at("/ram/d.tpk")));
}

TEST(UpgradeRun, SelectionAndInstallationOrder) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const struct {
    bool downgrade;
    Lines after;  // what follows the scan
  } cases[] = {
      {false,
       {"WARNING: omitting package p-1.0: newer package is already provided", "installed p-2.0",
        "installed q-1.0"}},
      {true,
       {"WARNING: omitting package p-2.0: older package is already provided", "installed p-1.0",
        "installed q-1.0"}},
  };
  for (const auto& c : cases) {
    DeviceRoot root;
    installBase(root);
    writeFile(root.at(staged + "q.tpk"), packageFile("q", [](auto& q) { q.deps = {{{"p"}}}; }));
    writeFile(root.at(staged + "p1.tpk"), packageFile("p"));
    writeFile(root.at(staged + "p2.tpk"), packageFile("p", v2));
    if (c.downgrade) writeFile(root.at("/rw/DOWNGRADE"), "");
    const Lines lines = shownLines(root.run({}).output);
    ASSERT_EQ(lines.size(), 5 + c.after.size()) << c.downgrade;
    EXPECT_EQ(Lines(lines.begin() + 5, lines.end()), c.after);
    EXPECT_FALSE(exists(root.at("/rw/DOWNGRADE")));
    // The omitted file stays for a later run.
    EXPECT_TRUE(exists(root.at(staged + (c.downgrade ? "p2.tpk" : "p1.tpk"))));
  }

  // A bundle wins over a separate file of its member's release, silently.
  DeviceRoot root;
  installBase(root);
  writeFile(root.at(staged + "m.tpk"), packageFile("m"));
  writeFile(root.at(staged + "suite.tpk"), bundleFile("suite", v1, {package("m", v1, "opt/"), package("n", v1, "opt/")}));
  const Lines lines = shownLines(root.run({}).output);
  EXPECT_EQ(Lines(lines.begin() + 4, lines.end()), Lines{"installed suite-1.0"});
  EXPECT_EQ(readFile(root.at("/flash/var/pdb/m/bundle")), "suite\n");
  EXPECT_TRUE(exists(root.at(staged + "m.tpk")));
}

TEST(UpgradeRun, ImagesAndBootImageLinks) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  installBase(root);
  const auto withImage = [](auto& p) {
    p.image = "boot image of " + p.name;
    p.flags = pkgwriter::bootImageFlag;
  };
  const std::string file = packageFile("kernel", withImage);
  writeFile(root.at(staged + "kernel.tpk"), file);
  // Room for a RAM copy: an image package is never moved there all the same.
  makeDirs(root.at("/proc"));
  writeFile(root.at("/proc/meminfo"),
            "MemTotal: 1 kB\nMemFree: 65536 kB\nBuffers: 0 kB\nCached: 0 kB\n");
  root.run({"-q"});
  EXPECT_EQ(readFile(root.at("/flash/var/pdb/kernel/image")), file);
  EXPECT_FALSE(exists(root.at(staged + "kernel.tpk")));
  struct stat image, boot;
  ASSERT_EQ(::stat(root.at("/flash/var/pdb/kernel/image").c_str(), &image), 0);
  ASSERT_EQ(::stat(root.at("/flash/bootimage").c_str(), &boot), 0);
  EXPECT_EQ(image.st_ino, boot.st_ino);
  EXPECT_TRUE(exists(root.at("/flash/UPGRADED")));

  // When the entry cannot take the image, the second place does, and the
  // boot image is named in /ram/bootimage.
  const std::string next = packageFile("kernel", [&](auto& p) {
    withImage(p);
    p.version = v2;
  });
  writeFile(root.at(staged + "kernel.tpk"), next);
  ::unlink(root.at("/flash/var/pdb/kernel/image").c_str());
  makeDirs(root.at("/flash/var/pdb/kernel/image/blocked"));
  makeDirs(root.at("/rw/pckg"));
  const Lines lines = shownLines(root.run({}).output);
  EXPECT_EQ(lines.back(), "installed kernel-2.0");
  EXPECT_EQ(readFile(root.at("/rw/pckg/.images/kernel")), next);
  EXPECT_EQ(readFile(root.at("/ram/bootimage")), "kernel\n");
  EXPECT_FALSE(exists(root.at("/flash/bootimage")));  // its last link went with the old image
}

TEST(UpgradeRun, FailedFilesGoBackAndLostPackagesAreEnabledAgain) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  installBase(root);
  installBase(root, "x");
  // n disables x when it is planned in, then fails to install (its tree would
  // leave /flash): x, available before the run, is enabled again.
  writeFile(root.at(staged + "n.tpk"),
            fileOf([] {
    auto n = package("n", v1, "../");
    n.conflicts = {{{"x"}}};
    return n;
  }()));
  // A refused file goes back from the RAM disk to where it was found.
  writeFile(root.at(staged + "f.tpk"), packageFile("f", [](auto& f) { f.deps = {{{"nothere"}}}; }));
  makeDirs(root.at("/proc"));
  writeFile(root.at("/proc/meminfo"),
            "MemTotal: 1 kB\nMemFree: 65536 kB\nBuffers: 0 kB\nCached: 0 kB\n");

  const Lines lines = shownLines(root.run({}).output);
  const Lines tail(lines.begin() + 4, lines.end());
  const Lines expected = {"ERROR: can not install f-1.0: nothere is not installed, but is required",
                          "disabled x-1.0", "ERROR: installation of n-1.0 failed: broken package",
                          "enabled x-1.0"};
  EXPECT_TRUE(std::is_permutation(tail.begin(), tail.end(), expected.begin(), expected.end()))
      << ::testing::PrintToString(tail);
  EXPECT_EQ(tail.back(), "enabled x-1.0");
  for (const char* file : {"f.tpk", "n.tpk"}) {
    EXPECT_TRUE(exists(root.at(staged + file))) << file;
    EXPECT_FALSE(exists(root.at(std::string("/ram/") + file))) << file;
  }
  EXPECT_FALSE(exists(root.at("/flash/var/pdb/x/disabled")));
  EXPECT_FALSE(exists(root.at("/n")));
}

TEST(UpgradeRun, MessageLogAndMarkers) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  installBase(root);
  writeFile(root.at("/flash/postlog"), "earlier\nunterminated");
  writeFile(root.at("/rw/DOWNGRADE"), "");
  // Nothing staged: nothing is reserved or written, the marker goes all the same.
  EXPECT_EQ(root.run({}).output, "");
  EXPECT_EQ(readFile(root.at("/flash/postlog")), "earlier\nunterminated");
  EXPECT_FALSE(exists(root.at("/rw/DOWNGRADE")));
  EXPECT_FALSE(exists(root.at("/flash/PCKGS_CHANGED")));

  // A run with a package file reserves the log: the old lines join this
  // run's messages after those recorded so far, and the log is rewritten.
  writeFile(root.at(staged + "a.tpk"), packageFile("a"));
  root.run({});
  EXPECT_EQ(readFile(root.at("/flash/postlog")), "verified a.tpk\nearlier\ninstalled a-1.0\n");
  EXPECT_TRUE(exists(root.at("/flash/PCKGS_CHANGED")));
}

TEST(UpgradeRun, AnEmptyDeviceHaltsForGood) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  makeDirs(root.at(staged));
  writeFile(root.at(staged + "broken.tpk"), "not a package");
  testing_support::ProcessOptions options;
  options.timeLimitSeconds = 5;
  const auto result = root.run({}, options);
  EXPECT_EQ(result.stateAtTimeLimit, 'S') << "the installer should wait, idle, until it is ended";
  const std::string end = "\n\nERROR: router installation failed!!!\nPlease, reinstall.\n";
  ASSERT_GE(result.output.size(), end.size());
  EXPECT_EQ(result.output.substr(result.output.size() - end.size()), end);
  EXPECT_FALSE(exists(root.at("/flash/postlog")));
  EXPECT_FALSE(exists(root.at("/flash/PCKGS_CHANGED")));
}

}  // namespace
