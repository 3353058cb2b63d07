// The database writer: exact bytes of the files it writes, its failure
// messages, scripts, and the enabled/disabled state.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>

#include "support/chroot_runner.h"
#include "pdb/database_writer.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/package_builder.h"
#include "support/installer_process.h"
#include "support/scratch_dir.h"

using testing_support::ChrootOptions;
using testing_support::childConsole;
using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

constexpr char scriptHeader[] = "#!/bin/bash\n\n. /tessel/lib/install/profile.sh\n\n";

unsigned modeOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0xFFFF;
  return info.st_mode & 07777;
}

}  // namespace

TEST(MakeDirectories, CreatesMissingLevelsAndStopsAtTheFirstRealFailure) {
  ScratchDir scratch;
  ::umask(0);
  // Every missing level, trailing slashes ignored, mode 0770.
  EXPECT_TRUE(makeDirectories(scratch / "flash/var/pdb/abc//", false));
  EXPECT_EQ(0770u, modeOf(scratch / "flash/var"));
  EXPECT_EQ(0770u, modeOf(scratch / "flash/var/pdb/abc"));
  // Existing levels are done already.
  EXPECT_TRUE(makeDirectories(scratch / "flash/var/pdb/abc", false));

  // Only the parents of the last component.
  EXPECT_TRUE(makeDirectories(scratch / "flash/x/a/file", true));
  EXPECT_EQ(0770u, modeOf(scratch / "flash/x/a"));
  EXPECT_FALSE(exists(scratch / "flash/x/a/file"));

  // A file standing as a level counts as existing, but nothing can go below it.
  writeFile(scratch / "flash/plain", "x");
  EXPECT_TRUE(makeDirectories(scratch / "flash/plain", false));
  EXPECT_FALSE(makeDirectories(scratch / "flash/plain/sub/deeper", false));
  EXPECT_EQ(ENOTDIR, errno);
  ::umask(022);
}

TEST(DatabaseWriter, AMetaFileThatCannotBeWrittenIsNamedOnce) {
  // A directory standing where each meta file goes in turn; the files before it
  // are written, the work ends there.
  const char* const files[] = {"version", "deps", "provides", "conflicts", "bundle", "files"};
  for (const char* blocked : files) {
    SCOPED_TRACE(blocked);
    DeviceRoot root;
    makeDirs(root.at("/flash/var/pdb/pkg/") + blocked);
    RUN_CHROOTED(root.path(), [blocked] {
      Console& console = childConsole();
      InstalledPackage pkg("pkg");
      pkg.version = 0x01006600;
      pkg.provides = {{"p", 0, 0, 0}};
      pkg.conflicts = {{"c", 0, 0, 0}};
      pkg.bundle.name = "bun";
      pkg.files = {"/f"};
      pkg.disabled = true;
      EXPECT_FALSE(writePackageRecord(console, pkg));
      ASSERT_EQ(1u, console.messages.size());
      EXPECT_EQ(std::string("ERROR: installation of bun failed: could not create meta/") +
                    blocked + ": Is a directory",
                console.messages[0]);
      // The label of a package from a bundle is the bundle. Nothing after the
      // failing file is written, not even the state files.
      EXPECT_NE(0, ::access("/flash/var/pdb/pkg/disabled", F_OK));
    });
  }
}

TEST(DatabaseWriter, AFullFileSystemSaysTheDiskIsTooSmall) {
  DeviceRoot root;
  makeDirs(root.at("/flash/var/pdb/pkg"));
  ChrootOptions small;
  small.tmpfsAt = "/flash/var/pdb/pkg";
  small.tmpfsBytes = 8192;
  RUN_CHROOTED(
      root.path(),
      [] {
        Console& console = childConsole();
        InstalledPackage pkg("pkg");
        pkg.version = 0x02006600;
        pkg.bundle = {"suite", 0x03006301, 0x03006301, 0};
        for (int i = 0; i < 2000; ++i) pkg.files.insert("/opt/some/long/path/file" + std::to_string(i));
        EXPECT_FALSE(writePackageRecord(console, pkg));
        ASSERT_EQ(1u, console.messages.size());
        // Messages name a package that came with a bundle by the bundle.
        EXPECT_EQ("ERROR: installation of suite-3.0rc1 failed: disk is too small",
                  console.messages[0]);
      },
      small);
}

TEST(DatabaseWriter, ScriptsComeFromTheirPartOfAPackageStream) {
  pkgwriter::PackageLayout layout;
  layout.name = "pkg";
  layout.version = 0x01006600;
  layout.onInstall = "echo in\r\nexit 0";  // copied as it is: no conversion, no terminator
  std::string uninstall(40000, '\0');  // several chunks, the last one partial
  for (std::size_t i = 0; i < uninstall.size(); ++i)
    uninstall[i] = static_cast<char>(i * 7 + i / 4096);
  layout.onUninstall = uninstall;
  const std::string file = pkgwriter::buildPackageFile(layout);
  DeviceRoot root;
  makeDirs(root.at("/flash/var/pdb/pkg"));
  RUN_CHROOTED(root.path(), [&file] {
    Console& console = childConsole();
    InstalledPackage pkg("pkg");
    pkg.version = 0x01006600;
    std::istringstream input(file);
    PartStream stream(input, true);
    stream.wanted = {partInstallScript, partUninstallScript};
    ASSERT_EQ(partInstallScript, stream.next());
    EXPECT_TRUE(writeScript(console, pkg, stream, stream.partLength(), "oninstall"));
    ASSERT_EQ(partUninstallScript, stream.next());
    EXPECT_TRUE(writeScript(console, pkg, stream, stream.partLength(), "onuninstall"));
    EXPECT_TRUE(console.messages.empty());
  });
  const std::string dir = root.at("/flash/var/pdb/pkg/");
  EXPECT_EQ(std::string(scriptHeader) + "echo in\r\nexit 0", readFile(dir + "oninstall"));
  EXPECT_EQ(0755u, modeOf(dir + "oninstall"));
  EXPECT_TRUE(readFile(dir + "onuninstall") == std::string(scriptHeader) + uninstall);
  EXPECT_EQ(0755u, modeOf(dir + "onuninstall"));
}

TEST(DatabaseWriter, ScriptFailures) {
  DeviceRoot root;
  makeDirs(root.at("/flash/var/pdb/pkg/onuninstall"));  // a directory in the way
  RUN_CHROOTED(root.path(), [] {
    InstalledPackage pkg("pkg");
    pkg.version = 0x01006600;

    // A part that announces 4 GiB but ends after a few bytes: broken, reported
    // once, and no partial script stays behind. Holding the announced length in
    // memory would not get this far.
    Console& console = childConsole();
    std::istringstream shortPart("echo cut");
    EXPECT_FALSE(writeScript(console, pkg, shortPart, 0xFFFFFFFF, "oninstall"));
    ASSERT_EQ(1u, console.messages.size());
    EXPECT_EQ("ERROR: installation of pkg-1.0 failed: broken package", console.messages[0]);
    EXPECT_NE(0, ::access("/flash/var/pdb/pkg/oninstall", F_OK));

    // A script that cannot be created is named by its file name.
    Console& second = childConsole();
    std::istringstream whole("rm -rf /tmp/x\n");
    EXPECT_FALSE(writeScript(second, pkg, whole, 14, "onuninstall"));
    ASSERT_EQ(1u, second.messages.size());
    EXPECT_EQ("ERROR: installation of pkg-1.0 failed: could not create onuninstall: Is a directory",
              second.messages[0]);
  });
}

TEST(DatabaseWriter, MarkDisabledAndEnabledKeepOneStateFile) {
  DeviceRoot root;
  RUN_CHROOTED(root.path(), [] {
    ::umask(0);
    InstalledPackage pkg("pkg");
    pkg.action = ScheduledAction::Disable;
    // The entry directory is missing: it is created searchable, like every
    // other directory of the database.
    markDisabled(pkg);
    struct stat info {};
    ASSERT_EQ(0, ::stat("/flash/var/pdb/pkg", &info));
    EXPECT_EQ(0770u, info.st_mode & 07777);
    EXPECT_TRUE(pkg.disabled);
    EXPECT_EQ(ScheduledAction::None, pkg.action);
    EXPECT_EQ("auto\n", testing_support::readFile("/flash/var/pdb/pkg/disabled"));

    pkg.userForced = true;
    pkg.action = ScheduledAction::Enable;
    markEnabled(pkg);
    EXPECT_FALSE(pkg.disabled);
    EXPECT_EQ(ScheduledAction::None, pkg.action);
    EXPECT_NE(0, ::access("/flash/var/pdb/pkg/disabled", F_OK));
    EXPECT_EQ("user\n", testing_support::readFile("/flash/var/pdb/pkg/enabled"));

    markDisabled(pkg);
    EXPECT_EQ("user\n", testing_support::readFile("/flash/var/pdb/pkg/disabled"));
    EXPECT_NE(0, ::access("/flash/var/pdb/pkg/enabled", F_OK));

    pkg.userForced = false;
    markEnabled(pkg);
    EXPECT_NE(0, ::access("/flash/var/pdb/pkg/disabled", F_OK));
    EXPECT_NE(0, ::access("/flash/var/pdb/pkg/enabled", F_OK));
  });
}

TEST(DatabaseWriter, RecordsThatCannotBeReadBackSafelyAreRefused) {
  DeviceRoot root;
  RUN_CHROOTED(root.path(), [] {
    Console& console = childConsole();
    // Would leave the database, or be passed over by the loader.
    for (const char* name : {"..", "a/../../..", "", ".hidden"}) {
      InstalledPackage pkg(name);
      pkg.disabled = true;
      EXPECT_FALSE(createPackageDir(pkg));
      EXPECT_FALSE(writePackageRecord(console, pkg));
      markDisabled(pkg);
    }
    EXPECT_EQ(4u, console.messages.size());
    EXPECT_NE(0, ::access("/flash/var/version", F_OK));
    EXPECT_NE(0, ::access("/flash/var/disabled", F_OK));
    EXPECT_NE(0, ::access("/flash/var/pdb/disabled", F_OK));

    // "opt/a\nlib/other" would read back as two paths, the second one another
    // package's file that the removal of this one would then delete.
    Console& second = childConsole();
    InstalledPackage pkg("pkg");
    pkg.version = 0x01006600;
    pkg.files = {"/bin/x", "/opt/a\nlib/other"};
    ASSERT_TRUE(createPackageDir(pkg));
    EXPECT_FALSE(writeFileList(pkg));
    EXPECT_FALSE(writePackageRecord(second, pkg));
    ASSERT_EQ(1u, second.messages.size());
    EXPECT_EQ("ERROR: installation of pkg-1.0 failed: could not create meta/files: Invalid argument",
              second.messages[0]);
  });
}
