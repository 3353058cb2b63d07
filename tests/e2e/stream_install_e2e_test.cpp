// "installer -r <root> -" with packages made by the project's writer: one
// package or bundle from standard input, refused and broken streams, and the
// runs that only carry out actions (schedule files at start-up, --cleanup).
// Each case checks standard output, the exit status, the database entries
// and the files below /flash.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "model/version.h"
#include "pkgwriter/pkgwriter.h"
#include "support/installer_process.h"

namespace {

using pkgwriter::ListEntry;
using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::ProcessResult;
using testing_support::readFile;
using testing_support::writeFile;

constexpr std::uint32_t built = 1704067200;
constexpr Version v09 = makeVersion(0, 9, Final, 0);
constexpr Version v1 = makeVersion(1, 0, Final, 0);
constexpr Version v2 = makeVersion(2, 0, Final, 0);
using Files = std::map<std::string, std::string>;  // entry file name -> content

std::string versionLine(Version version) {
  return std::to_string(version) + " " + std::to_string(built) + "\n";
}
std::string contentOf(const std::string& name, Version version) {
  return name + " " + versionText(version) + "\n";
}
std::string dependencyLine(const std::string& name, Version min, Version max = 0) {
  return name + " " + std::to_string(min) + " " + std::to_string(max) + "\n";
}

// A signed package holding the one file bin/<name>.
pkgwriter::PackageLayout package(const std::string& name, Version version) {
  pkgwriter::PackageLayout layout;
  layout.name = name;
  layout.version = version;
  layout.buildTime = built;
  layout.fileTree =
      pkgwriter::FileTreeBuilder().addFile("bin/" + name, contentOf(name, version)).compressed();
  layout.signer = pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");
  return layout;
}

std::string fileOf(const pkgwriter::PackageLayout& layout,
                   std::uint32_t magic = pkgwriter::standardMagic) {
  const std::string file = pkgwriter::buildPackageFile(layout, magic);
  EXPECT_FALSE(file.empty()) << "the writer could not sign";
  return file;
}

// A bundle of plain signed members; defaultDisabled becomes its type-20 list.
std::string bundleFile(const std::string& name, Version version,
                       const std::vector<pkgwriter::PackageLayout>& members,
                       const std::vector<std::string>& defaultDisabled = {}) {
  pkgwriter::BundleLayout layout;
  layout.name = name;
  layout.version = version;
  layout.buildTime = built;
  if (!defaultDisabled.empty()) {
    layout.defaultDisabled.emplace();
    for (const std::string& member : defaultDisabled) layout.defaultDisabled->push_back({member});
  }
  for (const pkgwriter::PackageLayout& member : members)
    layout.members.push_back(pkgwriter::buildPackageBody(member));
  return pkgwriter::buildBundleFile(layout);
}

// The standard output lines that carry messages: the status-line escapes
// taken out, each line from its last carriage return on.
std::vector<std::string> messages(const std::string& output) {
  std::string text = output;
  for (const std::string escape : {"\x1b[?25l", "\x1b[?25h"})
    for (std::size_t at; (at = text.find(escape)) != std::string::npos;)
      text.erase(at, escape.size());
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    std::string line = text.substr(start, end - start);
    lines.push_back(line.substr(line.rfind('\r') == std::string::npos ? 0 : line.rfind('\r') + 1));
  }
  return lines;
}

using Lines = std::vector<std::string>;

class StreamInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing_support::rootChangeUnavailable().empty()) GTEST_SKIP() << "no root change";
    freshRoot();
  }
  void freshRoot() {
    root = std::make_unique<DeviceRoot>();
    // A normal run that leaves nothing installed halts for good: every root
    // starts with base.
    entry("base", {{"version", versionLine(v1)}, {"files", ""}});
  }

  std::string at(const std::string& devicePath) const { return root->at(devicePath); }
  std::string pdb(const std::string& name, const std::string& file = "") const {
    return at("/flash/var/pdb/" + name + "/" + file);
  }
  std::string read(const std::string& devicePath) const {
    return exists(at(devicePath)) ? readFile(at(devicePath)) : "<none>";
  }

  void entry(const std::string& name, const Files& files) const {
    makeDirs(pdb(name));
    for (const auto& [file, content] : files) writeFile(pdb(name, file), content);
  }
  // An installed package with its one file bin/<name> on disk; more entry
  // files (deps, bundle, disabled...) in extra.
  void installed(const std::string& name, Version version, Files extra = {}) const {
    extra.emplace("version", versionLine(version));
    extra.emplace("files", "bin/" + name + "\n");
    entry(name, extra);
    makeDirs(at("/flash/bin"));
    writeFile(at("/flash/bin/" + name), contentOf(name, version));
  }
  void schedule(const std::string& name, const std::string& action) const {
    makeDirs(at("/ram/pdb/" + name));
    writeFile(at("/ram/pdb/" + name + "/schedule"), action + "\n");
  }

  ProcessResult stream(const std::string& bytes, std::vector<std::string> args = {}) const {
    testing_support::ProcessOptions options;
    options.input = bytes;
    args.push_back("-");
    return root->run(args, options);
  }

  // Installed as a plain enabled package (or member of bundle) of this release.
  void expectEnabled(const std::string& name, Version version,
                     const std::string& bundle = "") const {
    EXPECT_EQ(readFile(pdb(name, "version")), versionLine(version)) << name;
    EXPECT_EQ(readFile(pdb(name, "files")), "bin/" + name + "\n") << name;
    EXPECT_EQ(read("/flash/bin/" + name), contentOf(name, version)) << name;
    EXPECT_FALSE(exists(pdb(name, "disabled"))) << name;
    EXPECT_EQ(read("/flash/var/pdb/" + name + "/bundle"),
              bundle.empty() ? "<none>" : bundle + "\n");
  }
  void expectDisabled(const std::string& name, Version version, const std::string& state) const {
    EXPECT_EQ(readFile(pdb(name, "version")), versionLine(version)) << name;
    EXPECT_EQ(readFile(pdb(name, "files")), "x/" + name + "/bin/" + name + "\n") << name;
    EXPECT_EQ(read("/flash/x/" + name + "/bin/" + name), contentOf(name, version)) << name;
    EXPECT_FALSE(exists(at("/flash/bin/" + name))) << name;
    EXPECT_EQ(read("/flash/var/pdb/" + name + "/disabled"), state + "\n") << name;
  }
  void expectGone(const std::string& name) const {
    EXPECT_FALSE(exists(pdb(name))) << name;
    EXPECT_FALSE(exists(at("/flash/bin/" + name))) << name;
    EXPECT_FALSE(exists(at("/flash/x/" + name))) << name;
  }
  // The stream copy stays only as an image package's image.
  void expectNoStrayCopy() const {
    EXPECT_FALSE(exists(at("/flash/var/pdb/image")));
    EXPECT_FALSE(exists(at("/image")));
  }

  std::unique_ptr<DeviceRoot> root;
};

TEST_F(StreamInstall, PlainPackage) {
  const std::string file = fileOf(package("tool", v1));
  const ProcessResult result = stream(file);
  EXPECT_EQ(result.status, 0);
  // Byte for byte: the status line shows the bar at the header and at the
  // file tree, and is cleared for the message.
  const auto status = [](const std::string& text) { return "\x1b[?25l\r" + text + "\r\x1b[?25h"; };
  const auto bar = [](std::size_t filled) {
    return "installing tool-1.0 [" + std::string(filled, '#') + std::string(55 - filled, ' ') + "]";
  };
  EXPECT_EQ(result.output, status(bar(18)) + status(bar(29)) + status(std::string(77, ' ')) +
                               "installed tool-1.0\n");
  expectEnabled("tool", v1);
  EXPECT_EQ(readFile(pdb("tool", "deps")), "");
  EXPECT_EQ(read("/flash/postlog"), "installed tool-1.0\n");
  expectNoStrayCopy();
  EXPECT_FALSE(exists(at("/flash/bootimage")));
}

TEST_F(StreamInstall, ImagePackageKeepsItsStreamAsImageAndLinksTheBootImage) {
  pkgwriter::PackageLayout layout = package("kernel", v1);
  layout.image = std::string(9000, 'k');
  layout.flags = pkgwriter::bootImageFlag;
  const std::string file = fileOf(layout);
  const ProcessResult result = stream(file);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(messages(result.output), Lines{"installed kernel-1.0"});
  EXPECT_EQ(read("/flash/var/pdb/kernel/image"), file);
  struct stat image, boot;
  ASSERT_EQ(::stat(pdb("kernel", "image").c_str(), &image), 0);
  ASSERT_EQ(::stat(at("/flash/bootimage").c_str(), &boot), 0);
  EXPECT_EQ(image.st_ino, boot.st_ino);
  EXPECT_EQ(read("/flash/bin/kernel"), contentOf("kernel", v1));
  expectNoStrayCopy();
}

// The installed release of tool against the streamed one, with the options.
TEST_F(StreamInstall, ReleaseRules) {
  struct Case {
    Version installed, streamed;
    std::vector<std::string> args;
    int status;
    Lines output;
    Version after;
  } cases[] = {
      {v1, v2, {}, 0, {"installed tool-2.0"}, v2},
      {v1, v1, {}, 1, {"WARNING: omitting package tool-1.0: it is already installed"}, v1},
      {v1, v1, {"--reinstall"}, 0, {"", "Resuming upgrade...", "installed tool-1.0", ""}, v1},
      {v2,
       v1,
       {},
       1,
       {"WARNING: omitting package tool-1.0: newer package tool-2.0 is already installed"},
       v2},
      {v2, v1, {"-down"}, 0, {"installed tool-1.0"}, v1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(versionText(c.installed) + " then " + versionText(c.streamed) +
                 (c.args.empty() ? "" : " " + c.args[0]));
    freshRoot();
    // The old release also held a file the new one has not.
    installed("tool", c.installed, {{"files", "bin/tool\nbin/tool-old\n"}});
    writeFile(at("/flash/bin/tool-old"), "old\n");
    const ProcessResult result = stream(fileOf(package("tool", c.streamed)), c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(messages(result.output), c.output);
    const bool replaced = c.after != c.installed;
    EXPECT_EQ(readFile(pdb("tool", "version")), versionLine(c.after));
    EXPECT_EQ(read("/flash/bin/tool"), contentOf("tool", c.after));
    EXPECT_EQ(exists(at("/flash/bin/tool-old")), !replaced);
    expectNoStrayCopy();
  }
}

TEST_F(StreamInstall, BrokenStreamsChangeNothing) {
  pkgwriter::PackageLayout layout = package("tool", v2);
  layout.fileTree = pkgwriter::FileTreeBuilder()
                        .addFile("bin/tool", contentOf("tool", v2))
                        .addFile("bin/extra", "extra\n")
                        .compressed();
  const std::string good = fileOf(layout);
  pkgwriter::PackageLayout forged = layout;
  forged.trailer = std::string(pkgwriter::trailerPayloadSize, '\x5a');
  const std::size_t tree = good.find(*layout.fileTree);
  ASSERT_NE(tree, std::string::npos);
  const std::string broken = "ERROR: installation of tool-2.0 failed: broken package\n";
  const struct {
    const char* what;
    std::string bytes;
    std::string output;
  } cases[] = {
      {"no file header", "not a package", ""},
      {"first header part cut", good.substr(0, pkgwriter::fileHeaderSize + 10), ""},
      {"signature fails", fileOf(forged), broken},
      {"cut in the tree", good.substr(0, tree + layout.fileTree->size() / 2), broken},
      {"a part after the trailer",
       pkgwriter::wrapFile(pkgwriter::buildPackageBody(layout) +
                           pkgwriter::encodePart(pkgwriter::Text2Part, "more")),
       broken},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    freshRoot();
    installed("tool", v1);
    const ProcessResult result = stream(c.bytes);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(read("/flash/postlog"), c.output.empty() ? "<none>" : c.output);
    expectEnabled("tool", v1);
    EXPECT_FALSE(exists(at("/flash/bin/extra")));
    EXPECT_FALSE(exists(at("/flash/x")));
    expectNoStrayCopy();
  }
}

TEST_F(StreamInstall, PackageConflictingWithAnEnabledOneIsInstalledDisabled) {
  installed("ntp", v1, {{"conflicts", dependencyLine("chrony", 0)}});
  const ProcessResult result = stream(fileOf(package("chrony", v1)));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(messages(result.output), Lines{"installed (disabled) chrony-1.0"});
  expectDisabled("chrony", v1, "auto");
  expectEnabled("ntp", v1);
}

// The alternate magic installs the files beside the installed record, which
// is neither taken out nor removed, and writes no record of its own.
TEST_F(StreamInstall, AlternateMagicLeavesTheInstalledRecord) {
  installed("tool", v1, {{"files", "bin/tool\nbin/tool-old\n"}});
  writeFile(at("/flash/bin/tool-old"), "old\n");
  const ProcessResult result = stream(fileOf(package("tool", v2), pkgwriter::alternateMagic));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(messages(result.output), Lines{"installed tool-2.0"});
  EXPECT_EQ(readFile(pdb("tool", "version")), versionLine(v1));
  EXPECT_EQ(readFile(pdb("tool", "files")), "bin/tool\nbin/tool-old\n");
  EXPECT_EQ(read("/flash/bin/tool-old"), "old\n");
  EXPECT_EQ(read("/flash/bin/tool"), contentOf("tool", v2));
  expectNoStrayCopy();
}

TEST_F(StreamInstall, BundleWithADefaultDisabledMember) {
  for (const Lines& members : {Lines{"core", "extra"}, Lines{"extra", "core"}}) {
    SCOPED_TRACE(members[0] + " first");
    freshRoot();
    const ProcessResult result = stream(
        bundleFile("suite", v1, {package(members[0], v1), package(members[1], v1)}, {"extra"}));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(messages(result.output), Lines{"installed suite-1.0"});
    EXPECT_EQ(read("/flash/var/pdb/suite/version"), versionLine(v1));
    EXPECT_FALSE(exists(pdb("suite", "files")));
    expectEnabled("core", v1, "suite");
    expectDisabled("extra", v1, "auto");
    EXPECT_EQ(read("/flash/var/pdb/extra/bundle"), "suite\n");
    expectNoStrayCopy();
  }
}

TEST_F(StreamInstall, NewBundleReleaseRemovesTheMemberItDrops) {
  entry("suite", {{"version", versionLine(v1)}, {"deps", ""}});
  installed("core", v1, {{"bundle", "suite\n"}});
  installed("old", v1, {{"bundle", "suite\n"}});
  const ProcessResult result = stream(bundleFile("suite", v2, {package("core", v2)}));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(messages(result.output), Lines{"installed suite-2.0"});
  EXPECT_EQ(readFile(pdb("suite", "version")), versionLine(v2));
  expectEnabled("core", v2, "suite");
  expectGone("old");
}

// Stream mode knows no user states; the upgrade run hands over the states the
// user forced on the installed release: they win over the bundle's list.
TEST_F(StreamInstall, UserStatesWinThroughTheUpgradeRun) {
  entry("suite", {{"version", versionLine(v09)}, {"deps", ""}});
  installed("core", v09, {{"bundle", "suite\n"}, {"disabled", "user\n"}});
  installed("extra", v09, {{"bundle", "suite\n"}, {"enabled", "user\n"}});
  makeDirs(at("/flash/rw/pckg"));
  writeFile(at("/flash/rw/pckg/suite.tpk"),
            bundleFile("suite", v1, {package("core", v1), package("extra", v1)}, {"extra"}));
  const ProcessResult result = root->run({});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(read("/flash/postlog"), "verified suite.tpk\ninstalled suite-1.0\n");
  expectDisabled("core", v1, "user");
  expectEnabled("extra", v1, "suite");
  EXPECT_EQ(read("/flash/var/pdb/extra/enabled"), "user\n");
  EXPECT_FALSE(exists(at("/flash/rw/pckg/suite.tpk")));
}

TEST_F(StreamInstall, StartUpRunCarriesOutTheScheduleFiles) {
  installed("a", v1);
  installed("b", v1, {{"disabled", "auto\n"}});
  installed("c", v1);
  entry("suite", {{"version", versionLine(v1)}, {"deps", ""}});
  installed("m1", v1, {{"bundle", "suite\n"}});
  installed("m2", v1, {{"bundle", "suite\n"}});
  for (const auto& [name, action] : std::map<std::string, std::string>{
           {"a", "disable"}, {"b", "enable"}, {"c", "uninstall"}, {"suite", "uninstall"}})
    schedule(name, action);
  writeFile(at("/flash/postlog"), "an earlier run\n");
  const ProcessResult result = root->run({});
  EXPECT_EQ(result.status, 0);
  const Lines expected = {"disabled a-1.0", "enabled b-1.0"};
  EXPECT_EQ(messages(result.output), expected);
  EXPECT_EQ(read("/flash/postlog"), "an earlier run\n" + expected[0] + "\n" + expected[1] + "\n");
  EXPECT_EQ(read("/flash/var/pdb/a/disabled"), "user\n");
  EXPECT_FALSE(exists(pdb("b", "disabled")));
  EXPECT_EQ(read("/flash/var/pdb/b/enabled"), "user\n");
  for (const char* name : {"c", "suite", "m1", "m2"}) expectGone(name);
  EXPECT_TRUE(exists(at("/flash/PCKGS_CHANGED")));
}

TEST_F(StreamInstall, CleanupKeepsWhatIsMadeForThisSystem) {
  const Version v321 = makeVersion(3, 21, Final, 0), v322 = makeVersion(3, 22, Final, 0);
  const std::string newSystem = dependencyLine("system", v322);
  installed("system", v322);
  for (const char* name : {"lumex", "disk-drivers", "lib"}) installed(name, v1);
  installed("old", v1, {{"deps", dependencyLine("system", v321)}});
  installed("new", v1, {{"deps", newSystem}});
  entry("suite", {{"version", versionLine(v1)}, {"deps", ""}});
  installed("member", v1, {{"bundle", "suite\n"}, {"deps", newSystem}});
  installed("app", v1, {{"deps", newSystem + dependencyLine("lib", 0)}});
  const ProcessResult result = root->run({"--cleanup"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "WARNING: can not uninstall lib-1.0: app depends on it\n");
  for (const char* name : {"old", "base"}) expectGone(name);
  expectEnabled("system", v322);
  for (const char* name : {"lumex", "disk-drivers", "lib", "new", "app"}) expectEnabled(name, v1);
  expectEnabled("member", v1, "suite");
  EXPECT_EQ(read("/flash/var/pdb/suite/version"), versionLine(v1));
  EXPECT_FALSE(exists(at("/flash/postlog")));
}

// Each new member stands in the installed set while the plan for it is made.
// Here the old member a pins b to release 1, so the plan for b 2.0 uninstalls
// a and would then uninstall b as well, its dependency gone, until a 2.0
// follows. Neither b nor the bundle may be lost on the way.
TEST_F(StreamInstall, MembersSurviveThePlansMadeWhileTheBundleGoesIn) {
  entry("suite", {{"version", versionLine(v1)}, {"deps", ""}});
  installed("a", v1, {{"bundle", "suite\n"}, {"deps", dependencyLine("b", 0, v1)}});
  installed("b", v1, {{"bundle", "suite\n"}});
  pkgwriter::PackageLayout b = package("b", v2);
  b.deps = {{ListEntry{"a", v1}}};
  const ProcessResult result = stream(bundleFile("suite", v2, {b, package("a", v2)}));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(messages(result.output), Lines{"installed suite-2.0"});
  EXPECT_EQ(read("/flash/var/pdb/suite/version"), versionLine(v2));
  expectEnabled("a", v2, "suite");
  expectEnabled("b", v2, "suite");
  EXPECT_EQ(readFile(pdb("b", "deps")), dependencyLine("a", v1));
}

}  // namespace
