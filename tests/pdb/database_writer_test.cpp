// The database writer (directories, scripts, state files, failures) and its messages.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <functional>
#include <sstream>

#include "pdb/database_writer.h"
#include "pdb/install_messages.h"
#include "pdb_test_helpers.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/package_builder.h"
#include "pkgwriter/part_encoding.h"
#include "support/chroot_runner.h"
#include "support/installer_process.h"

using namespace pdb_testing;
using namespace testing_support;

namespace {

unsigned modeOf(const std::string& path) {
  return unsigned(std::filesystem::status(path).permissions());
}

std::unique_ptr<InstalledPackage> package(const std::string& bundle = "") {
  auto pkg = std::make_unique<InstalledPackage>("pkg");
  pkg->version = 0x01006600;
  pkg->bundle.name = bundle;
  return pkg;
}

struct CapturedConsole {
  std::FILE* file = std::tmpfile();
  Console console{file};
  ~CapturedConsole() { std::fclose(file); }
};

}  // namespace

TEST(MakeDirectories, CreatesMissingLevelsAndStopsAtTheFirstRealFailure) {
  ScratchDir scratch;
  ::umask(0);
  // Every missing level with mode 0770, trailing slashes ignored; existing levels are done.
  EXPECT_TRUE(makeDirectories(scratch / "flash/var/pdb/abc//", false));
  EXPECT_EQ(0770u, modeOf(scratch / "flash/var"));
  EXPECT_EQ(0770u, modeOf(scratch / "flash/var/pdb/abc"));
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

// Each failure is reported once and ends the work: no state file and no
// partial script stay behind. A package from a bundle is named by the bundle.
TEST(DatabaseWriter, AFailureIsReportedOnceAndEndsTheWork) {
  struct Case {
    std::string blocked;  // a directory in the way below the entry; "": a full file system
    const char* script;   // the script written, or none: the record
    std::uint32_t length;
    std::string file, message;
  };
  std::vector<Case> cases;
  for (const std::string file : {"version", "deps", "provides", "conflicts", "bundle", "files"})
    cases.push_back(
        {file, nullptr, 0, "", "bun failed: could not create meta/" + file + ": Is a directory"});
  cases.push_back({"", nullptr, 0, "", "bun-3.0rc1 failed: disk is too small"});
  // A part that announces 4 GiB but ends after a few bytes: holding the
  // announced length in memory would not get this far.
  cases.push_back({"x", "oninstall", 0xFFFFFFFF, "", "bun failed: broken package"});
  cases.push_back({"onuninstall", "onuninstall", 8, "",
                   "bun failed: could not create onuninstall: Is a directory"});
  // "opt/a\nlib/other" would read back as two paths, the second one another
  // package's file that the removal of this one would then delete.
  cases.push_back({"x", nullptr, 0, "/opt/a\nlib/other",
                   "bun failed: could not create meta/files: Invalid argument"});
  for (const Case& c : cases) {
    DeviceRoot root;
    const std::string dir = root.at("/flash/var/pdb/pkg/");
    makeDirs(dir + c.blocked);
    ChrootOptions small;
    if (c.blocked.empty()) small.tmpfsAt = "/flash/var/pdb/pkg", small.tmpfsBytes = 8192;
    RUN_CHROOTED(
        root.path(),
        [&c] {
          auto pkg = package("bun");
          pkg->provides = pkg->conflicts = {{"p", 0, 0, 0}};
          pkg->files = {"/f", c.file};
          pkg->disabled = true;
          for (int i = 0; c.blocked.empty() && i < 2000; ++i)
            pkg->files.insert("/opt/some/long/path/file" + std::to_string(i));
          if (c.blocked.empty()) pkg->bundle.min = pkg->bundle.max = 0x03006301;
          Console& console = childConsole();
          std::istringstream part("echo cut");
          EXPECT_FALSE(c.script ? writeScript(console, *pkg, part, c.length, c.script)
                                : writePackageRecord(console, *pkg));
          EXPECT_EQ(std::vector<std::string>{"ERROR: installation of " + c.message},
                    console.messages);
        },
        small);
    EXPECT_FALSE(exists(dir + "disabled") || exists(dir + "oninstall")) << c.message;
  }
}

// Scripts are copied as they are behind the script header, executable: no
// conversion, no terminator; the long one takes several chunks, the last partial.
TEST(DatabaseWriter, ScriptsComeFromTheirPartOfAPackageStream) {
  pkgwriter::PackageLayout layout;
  layout.name = "pkg";
  layout.onInstall = "echo in\r\nexit 0";
  std::string uninstall(40000, '\0');
  for (std::size_t i = 0; i < uninstall.size(); ++i)
    uninstall[i] = static_cast<char>(i * 7 + i / 4096);
  layout.onUninstall = uninstall;
  const std::string file = pkgwriter::buildPackageFile(layout);
  DeviceRoot root;
  makeDirs(root.at("/flash/var/pdb/pkg"));
  RUN_CHROOTED(root.path(), [&file] {
    Console& console = childConsole();
    std::istringstream input(file);
    PartStream stream(input, true);
    stream.wanted = {partInstallScript, partUninstallScript};
    for (const char* script : {"oninstall", "onuninstall"}) {
      ASSERT_NE(-1, stream.next());
      EXPECT_TRUE(writeScript(console, *package(), stream, stream.partLength(), script));
    }
    EXPECT_TRUE(console.messages.empty());
  });
  const std::string dir = root.at("/flash/var/pdb/pkg/"), header = expected("script-header.txt");
  EXPECT_EQ(header + "echo in\r\nexit 0", readFile(dir + "oninstall"));
  EXPECT_TRUE(readFile(dir + "onuninstall") == header + uninstall);
  EXPECT_EQ(0755u, modeOf(dir + "oninstall"));
  EXPECT_EQ(0755u, modeOf(dir + "onuninstall"));
}

// One state file at most; a missing entry directory is created searchable.
// Names that would leave the database, or that the loader passes over, are refused.
TEST(DatabaseWriter, StateFilesAndRefusedNames) {
  DeviceRoot root;
  RUN_CHROOTED(root.path(), [] {
    ::umask(0);
    const struct {
      bool disable, userForced;
      const char* tree;
    } steps[] = {{true, false, "== disabled\nauto\n"},
                 {false, true, "== enabled\nuser\n"},
                 {false, false, ""},
                 {true, true, "== disabled\nuser\n"},
                 {false, false, ""}};
    InstalledPackage pkg("pkg");
    for (const auto& step : steps) {
      pkg.userForced = step.userForced;
      pkg.action = ScheduledAction::Enable;
      step.disable ? markDisabled(pkg) : markEnabled(pkg);
      EXPECT_EQ(step.disable, pkg.disabled);
      EXPECT_EQ(ScheduledAction::None, pkg.action);
      EXPECT_EQ(step.tree, treeText("/flash/var/pdb/pkg"));
    }
    EXPECT_EQ(0770u, modeOf("/flash/var/pdb/pkg"));
    Console& console = childConsole();
    for (const char* name : {"..", "a/../../..", "", ".hidden"}) {
      InstalledPackage refused(name);
      refused.disabled = true;
      EXPECT_FALSE(createPackageDir(refused));
      EXPECT_FALSE(writePackageRecord(console, refused));
      markDisabled(refused);
    }
    EXPECT_EQ(4u, console.messages.size());
    EXPECT_EQ("", treeText("/flash/var"));
  });
}

// The disk-full and "could not create" texts come with the writer's failures.
// Package text is never a format.
TEST(InstallMessages, DiskErrorAndTextsThatLookLikeFormats) {
  InstalledPackage record("dhcp");
  record.version = makeVersion(6, 41, Final, 0);
  CapturedConsole out;
  errno = EIO;
  reportCreateFailure(out.console, record, "/flash/bin/dhcp");
  record.bundle.name = "sys%s%n";
  errno = ENOENT;
  reportCreateFailure(out.console, record, "/flash/%s");
  reportBrokenPackage(out.console, record);
  EXPECT_EQ(out.console.messages,
            (std::vector<std::string>{
                "ERROR: installation of dhcp-6.41 failed: disk error",
                "ERROR: installation of sys%s%n failed: could not create /flash/%s: "
                "No such file or directory",
                "ERROR: installation of sys%s%n failed: broken package"}));
}

TEST(InstallMessages, ProgressShowsTheLabelAndThePositionInThePackage) {
  // File header (8 bytes), then a part: 6-byte header and a 100-byte payload.
  // The payload starts at 14 and the file is 114 bytes.
  std::istringstream input(
      pkgwriter::wrapFile(pkgwriter::encodePart(partFileTree, std::string(100, 'x'))));
  PartStream stream(input, false);
  stream.wanted.push_back(partFileTree);
  ASSERT_EQ(stream.next(), partFileTree);
  char payload[43];
  ASSERT_TRUE(stream.read(payload, sizeof payload));
  InstalledPackage record("ppp");
  record.version = makeVersion(6, 41, Final, 0);
  const struct {
    bool disabled;
    const char* bundle;
    const char* text;
  } cases[] = {{false, "", "installing ppp-6.41"},
               {true, "", "installing  (disabled) ppp-6.41"},
               {true, "suite", "installing suite"}};  // a bundle member shows no marker
  for (const auto& c : cases) {
    record.disabled = c.disabled;
    record.bundle.name = c.bundle;
    CapturedConsole shown, reference;
    showInstalling(shown.console, record, stream);
    reference.console.showProgress(c.text, 14 + 43, 114);
    EXPECT_EQ(shown.console.statusLine, reference.console.statusLine);
  }
}
