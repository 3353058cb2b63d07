// The command line, the start-up order and the dispatch; outcomes in
// tests/data/e2e/command-line-<case>.txt.
#include <filesystem>

#include "e2e_helpers.h"

namespace {

using namespace e2e;

// Each run on a fresh root laid out from tests/data/e2e/<before>.txt, or, when
// before is empty, on a root without a database.
void expectRuns(const std::string& name, const std::string& before, const std::vector<Lines>& runs,
                const std::string& input = "") {
  std::string seen;
  for (const Lines& args : runs) {
    DeviceRoot root;
    if (before.empty())
      std::filesystem::remove_all(root.at("/flash/var/pdb"));
    else
      lay(root, before);
    ProcessOptions options;
    options.input = input;
    seen += "run";
    for (const std::string& arg : args) seen += " " + arg;
    seen += "\n" + outcome(root.run(args, options), root);
  }
  expectRecorded("command-line-" + name, seen);
}

// A usage error ends the run before the database is loaded, which would
// consume the schedule file; a normal run loads it and changes nothing else.
TEST(InstallerCommandLine, UsageLineEndsTheRunBeforeTheDatabaseIsLoaded) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  expectRuns(
      "usage", "command-line-scheduled.before",
      {{"--bogus"}, {"-r"}, {"--month"}, {"-q", "--bogus"}, {"--show", "-x"}, {"-q", "-r"}, {}});
}

// A root that cannot be entered ends the run: it must not go on in the real
// root (--show keeps even a faulty installer from writing there).
TEST(InstallerCommandLine, ARootThatCannotBeEnteredEndsTheRun) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  const auto result = runBuiltProgram(INSTALLER_BINARY,
                                      {INSTALLER_BINARY, "-r", root.at("/no/such/root"), "--show"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(result.errors.rfind("chroot: ", 0), 0u) << result.errors;
}

// Resuming the upgrade is said before everything else; a normal run with
// --reinstall ends with an empty line, also when quiet.
TEST(InstallerCommandLine, ResumingUpgradeComesBeforeEverythingElse) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  expectRuns("resuming", "command-line-base.before",
             {{"-q", "--reinstall", "--bogus"}, {"-q", "--reinstall"}});
}

// --show and --cleanup end the run; the listing goes to standard output
// directly, the warning through the console; neither writes the message log.
// A stream run without a place for the image fails with 255.
TEST(InstallerCommandLine, ShowCleanupAndStreamModeWithoutADatabase) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  expectRuns(
      "no-database", "",
      {{"--show", "--cleanup"}, {"-q", "--show"}, {"--cleanup", "--show"}, {"-q", "-", "--bogus"}},
      "not a package");
}

}  // namespace
