// The installer program run against a scratch device root: the command line,
// the start-up order and the dispatch.
#include "e2e_helpers.h"

namespace {

using namespace e2e;

const std::string usage = "usage: installer [-q] [-r <root>] [-]\n";
const std::string resuming = "\nResuming upgrade...\n";
const std::string noRepo = "WARNING: could not open repo\n";
const std::string header =
    "            Name          Version                Built                                    "
    "Note\n" +
    std::string(94, '-') + "\n";

TEST(InstallerCommandLine, UsageLineEndsTheRunBeforeTheDatabaseIsLoaded) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  // One installed package with a schedule file, which the loader consumes.
  const auto scheduledPackage = [](const DeviceRoot& root) {
    installRecord(root, "tool", {{"files", ""}});
    makeDirs(root.at("/ram/pdb/tool"));
    writeFile(root.at("/ram/pdb/tool/schedule"), "bogus\n");
  };
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--bogus"}, {"-r"}, {"--month"}, {"-q", "--bogus"}, {"--show", "-x"}, {"-q", "-r"}}) {
    DeviceRoot root;
    scheduledPackage(root);
    const auto result = root.run(args);
    EXPECT_EQ(result.status, 0) << args.back();
    EXPECT_EQ(result.output, usage) << args.back();
    EXPECT_TRUE(exists(root.at("/ram/pdb/tool/schedule"))) << "database loaded for " << args.back();
  }
  // A normal run loads the database and changes nothing else.
  DeviceRoot root;
  scheduledPackage(root);
  const auto result = root.run({});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_FALSE(exists(root.at("/ram/pdb/tool/schedule")));
  EXPECT_FALSE(exists(root.at("/flash/PCKGS_CHANGED")));
  EXPECT_FALSE(exists(root.at("/flash/postlog")));
}

// A root that cannot be entered ends the run: it must not go on in the real
// root (--show keeps even a faulty installer from writing there).
TEST(InstallerCommandLine, ARootThatCannotBeEnteredEndsTheRun) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  const std::string missing = root.at("/no/such/root");
  const auto result = testing_support::runBuiltProgram(INSTALLER_BINARY,
                                                       {INSTALLER_BINARY, "-r", missing, "--show"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(result.errors.rfind("chroot: ", 0), 0u) << result.errors;
}

TEST(InstallerCommandLine, ResumingUpgradeComesBeforeEverythingElse) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  installRecord(root, "base");
  EXPECT_EQ(root.run({"-q", "--reinstall", "--bogus"}).output, resuming + usage);
  // A normal run with --reinstall ends with an empty line, also when quiet.
  const auto result = root.run({"-q", "--reinstall"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, resuming + "\n");
}

TEST(InstallerCommandLine, ShowCleanupAndStreamModeWithoutADatabase) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  std::filesystem::remove_all(root.at("/flash/var/pdb"));
  // --show and --cleanup end the run; the listing goes to standard output
  // directly, the warning through the console; neither writes the message log.
  auto result = root.run({"--show", "--cleanup"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, noRepo + header);
  EXPECT_EQ(root.run({"-q", "--show"}).output, header);
  EXPECT_EQ(root.run({"--cleanup", "--show"}).output, noRepo);
  EXPECT_FALSE(exists(root.at("/flash/postlog")));

  // A stream run without a place for the image fails with 255.
  testing_support::ProcessOptions input;
  input.input = "not a package";
  result = root.run({"-q", "-", "--bogus"}, input);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.output, "ERROR: could not open image\n");
  EXPECT_FALSE(exists(root.at("/flash/postlog")));
}

}  // namespace
