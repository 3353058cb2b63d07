// The installer program run against a scratch device root: the command line,
// the start-up order and the dispatch.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/installer_process.h"

namespace {

using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::ProcessOptions;
using testing_support::readFile;
using testing_support::writeFile;

const std::string usage = "usage: installer [-q] [-r <root>] [-]\n";
const std::string resuming = "\nResuming upgrade...\n";

// A device with one installed package that has an "uninstall" scheduled: the
// schedule file is consumed exactly when the database is loaded.
void addScheduledPackage(const DeviceRoot& root) {
  makeDirs(root.at("/flash/var/pdb/tool"));
  writeFile(root.at("/flash/var/pdb/tool/version"), "16803328 1704067200\n");
  writeFile(root.at("/flash/var/pdb/tool/files"), "");
  makeDirs(root.at("/ram/pdb/tool"));
  writeFile(root.at("/ram/pdb/tool/schedule"), "bogus\n");
}

TEST(InstallerCommandLine, UsageLineEndsTheRunBeforeTheDatabaseIsLoaded) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"}, {"-r"}, {"--month"}, {"-q", "--bogus"}, {"--show", "-x"}, {"-q", "-r"}};
  for (const auto& args : cases) {
    DeviceRoot root;
    addScheduledPackage(root);
    const auto result = root.run(args);
    EXPECT_EQ(result.status, 0) << args.back();
    EXPECT_EQ(result.output, usage) << args.back();
    EXPECT_TRUE(exists(root.at("/ram/pdb/tool/schedule"))) << "database loaded for " << args.back();
    EXPECT_FALSE(exists(root.at("/flash/PCKGS_CHANGED")));
  }
}

TEST(InstallerCommandLine, ResumingUpgradeComesBeforeEverythingElse) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  auto result = root.run({"-q", "--reinstall", "--bogus"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, resuming + usage);

  // A normal run with --reinstall ends with an empty line, also when quiet.
  result = root.run({"-q", "--reinstall"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, resuming + "\n");
}

TEST(InstallerCommandLine, NormalRunLoadsTheDatabaseAndChangesNothing) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  addScheduledPackage(root);
  const auto result = root.run({});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_FALSE(exists(root.at("/ram/pdb/tool/schedule")));  // consumed by the loader
  EXPECT_FALSE(exists(root.at("/flash/PCKGS_CHANGED")));
  EXPECT_FALSE(exists(root.at("/flash/postlog")));
}

TEST(InstallerCommandLine, ShowAndCleanupEndTheRun) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  std::filesystem::remove_all(root.at("/flash/var/pdb"));
  // The listing goes to standard output directly, the warning through the
  // console; neither run writes the message log.
  auto result = root.run({"--show", "--cleanup"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "WARNING: could not open repo\n            Name          Version"
                           "                Built                                    Note\n" +
                               std::string(94, '-') + "\n");
  result = root.run({"-q", "--show"});
  EXPECT_EQ(result.output, "            Name          Version                Built"
                           "                                    Note\n" +
                               std::string(94, '-') + "\n");
  result = root.run({"--cleanup", "--show"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "WARNING: could not open repo\n");
  EXPECT_FALSE(exists(root.at("/flash/postlog")));
}

TEST(InstallerCommandLine, MessagesOfANormalRunAreAppendedToThePostlog) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  std::filesystem::remove_all(root.at("/flash/var/pdb"));
  writeFile(root.at("/flash/postlog"), "earlier line\n");
  auto result = root.run({});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "WARNING: could not open repo\n");
  EXPECT_EQ(readFile(root.at("/flash/postlog")), "earlier line\nWARNING: could not open repo\n");

  // Quiet: nothing printed, nothing kept.
  result = root.run({"-q"});
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(readFile(root.at("/flash/postlog")), "earlier line\nWARNING: could not open repo\n");
}

TEST(InstallerCommandLine, StreamModeWithoutImagePlaceFailsWithStatus255) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  std::filesystem::remove_all(root.at("/flash/var/pdb"));
  ProcessOptions input;
  input.input = "not a package";
  auto result = root.run({"-q", "-", "--bogus"}, input);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.output, "ERROR: could not open image\n");
  EXPECT_FALSE(exists(root.at("/flash/postlog")));
  EXPECT_FALSE(exists(root.at("/flash/PCKGS_CHANGED")));
}

}  // namespace
