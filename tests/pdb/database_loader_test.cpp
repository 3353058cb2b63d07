// The database loader: meta files, state flags, schedule files and images.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "support/chroot_runner.h"
#include "record_text.h"
#include "pdb/database_loader.h"
#include "pkgwriter/pkgwriter.h"
#include "support/installer_process.h"
#include "support/scratch_dir.h"

using testing_support::childConsole;
using pdb_testing::describe;
using pdb_testing::listText;
using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;
const Files good = {{"version", "1 2\n"}, {"files", ""}};

Files with(Files files, const std::string& name, const std::string& content) {
  files.emplace_back(name, content);
  return files;
}

// Writes the files of one package entry below root's database.
void writeEntry(const DeviceRoot& root, const std::string& name, const Files& files) {
  const std::string dir = root.at("/flash/var/pdb/" + name + "/");
  makeDirs(dir);
  for (const auto& [file, content] : files) writeFile(dir + file, content);
}

// A sample package file of the test data.
std::string sample(const std::string& name) {
  return readFile(std::string(TEST_DATA_DIR) + "/packages/" + name);
}

void schedule(const DeviceRoot& root, const std::string& name, const std::string& word) {
  makeDirs(root.at("/ram/pdb/" + name));
  writeFile(root.at("/ram/pdb/" + name + "/schedule"), word);
}

}  // namespace

TEST(DependencyListReader, ReadsEntriesAndStopsAtAMalformedOne) {
  ScratchDir scratch;
  std::vector<Dependency> list;
  // Line breaks carry no meaning; extra is signed.
  writeFile(scratch / "provides", "api 1 4294967295 -1\nb\n2 3\n0\n");
  EXPECT_TRUE(readDependencyList(scratch / "provides", list, true));
  EXPECT_EQ("[api:1:4294967295:-1 b:2:3:0 ]", listText(list));

  list.clear();
  writeFile(scratch / "deps", "a 1 2\nb 3\nc 4 5\n");
  EXPECT_FALSE(readDependencyList(scratch / "deps", list, false));
  EXPECT_EQ("[a:1:2:0 ]", listText(list));

  // A provides line without its extra is malformed; a number too large for 32
  // bits is too.
  list.clear();
  writeFile(scratch / "short", "x 1 2\n");
  EXPECT_FALSE(readDependencyList(scratch / "short", list, true));
  EXPECT_TRUE(list.empty());
  writeFile(scratch / "big", "x 4294967296 2\n");
  EXPECT_FALSE(readDependencyList(scratch / "big", list, false));
  // A name longer than the path limit is not held: the file is malformed.
  writeFile(scratch / "long", std::string(PATH_MAX + 1, 'n') + " 1 2\n");
  EXPECT_FALSE(readDependencyList(scratch / "long", list, false));

  // A missing file is an empty list; appending keeps what was there.
  list = {{"keep", 0, 0, 0}};
  EXPECT_TRUE(readDependencyList(scratch / "missing", list, false));
  EXPECT_EQ(1u, list.size());
}

TEST(DatabaseLoader, MetaFilesAndStateFlags) {
  DeviceRoot root;
  writeEntry(root, "only", {{"version", "51667713 1704067200\n"},
                            {"files", "bin/x\n/abs/y\n\nbin/x\nlast"}});
  writeEntry(root, "nofiles", {{"version", "1 2\n"}, {"bundle", "suite\n"}});
  writeEntry(root, "empty", {});
  writeEntry(root, "longpath", {{"version", "1 2\n"}, {"files", std::string(PATH_MAX + 1, 'p')}});
  writeEntry(root, "baddeps", with(with(good, "deps", "a 1 2\nb 3\n"), "conflicts", "c 0 9\n"));
  writeEntry(root, "auto", with(good, "disabled", "auto\n"));
  writeEntry(root, "user", with(good, "disabled", "user\n"));
  writeEntry(root, "blank", with(good, "disabled", ""));
  writeEntry(root, "both", with(with(good, "disabled", "auto\n"), "enabled", "user\n"));
  writeEntry(root, "enabled", with(good, "enabled", ""));
  writeFile(root.at("/flash/var/pdb/.hidden"), "");

  RUN_CHROOTED(root.path(), [] {
    Console& console = childConsole();
    loadDatabase(console, false, "powerpc");
    EXPECT_EQ("powerpc", console.arch);
    EXPECT_TRUE(console.messages.empty());
    ASSERT_EQ(10u, console.packages.size());
    EXPECT_EQ("only 3146301 1704067200 f0 |||| [] [] [] in :0:0 {/abs/y /bin/x /last } action0",
              describe(*console.packages.find("only")));
    EXPECT_EQ("nofiles 1 2 f0 |||| bundle [] [] [] in suite:0:0 {} action0",
              describe(*console.packages.find("nofiles")));
    // Unreadable metadata marks the package for removal instead of failing;
    // what was read before the malformed line stays.
    EXPECT_EQ(ScheduledAction::Uninstall, console.packages.find("empty")->action);
    EXPECT_EQ(ScheduledAction::Uninstall, console.packages.find("longpath")->action);
    EXPECT_EQ("baddeps 1 2 f0 |||| [a:1:2:0 ] [] [c:0:9:0 ] in :0:0 {} action1",
              describe(*console.packages.find("baddeps")));

    struct State {
      const char* name;
      bool disabled;
      bool userForced;
    };
    for (const State& s : {State{"auto", true, false}, State{"user", true, true},
                           State{"blank", true, true}, State{"both", true, false},
                           State{"enabled", false, true}}) {
      const InstalledPackage* pkg = console.packages.find(s.name);
      ASSERT_NE(nullptr, pkg) << s.name;
      EXPECT_EQ(s.disabled, pkg->disabled) << s.name;
      EXPECT_EQ(s.userForced, pkg->userForced) << s.name;
      EXPECT_EQ(ScheduledAction::None, pkg->action) << s.name;
    }
  });
}

TEST(DatabaseLoader, ScheduleFilesAreConsumed) {
  struct Case {
    const char* name;
    Files files;
    const char* word;
    ScheduledAction action;
    bool userForced;
  };
  static const std::vector<Case> cases = {
      {"gone", good, "uninstall\n", ScheduledAction::Uninstall, false},
      {"on", good, "enable", ScheduledAction::Enable, true},
      {"off", good, " disable\n", ScheduledAction::Disable, true},
      {"odd", good, "reboot\n", ScheduledAction::None, false},
      // No version: Uninstall unless scheduled otherwise.
      {"broken", {}, "enable\n", ScheduledAction::Enable, true},
      // A placeholder record takes no schedule, and its file stays.
      {"holder", {{"version", "4294967295 4294967295\n"}, {"files", ""}}, "uninstall\n",
       ScheduledAction::None, false},
      // A named pipe is not read (with no writer it would block the start).
      {"piped", good, "", ScheduledAction::None, false},
  };
  DeviceRoot root;
  for (const Case& c : cases) {
    writeEntry(root, c.name, c.files);
    schedule(root, c.name, c.word);
  }
  const std::string pipe = root.at("/ram/pdb/piped/schedule");
  ASSERT_EQ(0, ::unlink(pipe.c_str()));
  ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
  const int writer = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(10, ::write(writer, "uninstall\n", 10));
  RUN_CHROOTED(root.path(), [] {
    Console& console = childConsole();
    loadDatabase(console, true, "i386");
    EXPECT_TRUE(console.quiet);
    ASSERT_EQ(cases.size(), console.packages.size());
    for (const Case& c : cases) {
      EXPECT_EQ(c.action, console.packages.find(c.name)->action) << c.name;
      EXPECT_EQ(c.userForced, console.packages.find(c.name)->userForced) << c.name;
    }
  });
  for (const Case& c : cases) {
    EXPECT_EQ(std::string(c.name) == "holder", exists(root.at("/ram/pdb/") + c.name + "/schedule"))
        << c.name;
  }
  ::close(writer);
}

TEST(DatabaseLoader, AMissingDatabaseIsWarnedAboutAndLeftEmpty) {
  ScratchDir bare;
  makeDirs(bare / "flash/var");
  makeDirs(bare / "rw/pckg/.images");
  RUN_CHROOTED(bare.path(), [] {
    Console& console = childConsole();
    loadDatabase(console, false, "i386");
    EXPECT_TRUE(console.packages.empty());
    ASSERT_EQ(1u, console.messages.size());
    EXPECT_EQ("WARNING: could not open repo", console.messages[0]);
    EXPECT_FALSE(loadImages(console, nullptr));
  });
}

TEST(DatabaseLoader, ABundleImageYieldsItsMembersThenItself) {
  DeviceRoot root;
  writeEntry(root, "smp-bundle", {{"image", sample("sample-bundle.tpk")}, {"disabled", "auto\n"}});
  schedule(root, "smp-bundle", "uninstall");

  RUN_CHROOTED(root.path(), [] {
    Console& console = childConsole();
    loadDatabase(console, false, "i386");
    ASSERT_EQ(3u, console.packages.size());
    const char* const members[] = {
        "smp-m1 3006301 1704074401 f0 i386|||| [] [] [] in smp-bundle:3006301:3006301 {} action0",
        "smp-m2 3006301 1704074402 f0 i386|||| [] [] [] in smp-bundle:3006301:3006301 {} action0"};
    EXPECT_EQ(members[0], describe(console.packages[0]));
    EXPECT_EQ(members[1], describe(console.packages[1]));
    // The bundle's own record: header from the image, state and schedule from
    // its directory; meta files are not read for it.
    EXPECT_EQ("smp-bundle 3006301 1704074400 f0 i386|||bundle sample| bundle [] [] [] in :0:0 {} "
              "disabled action1",
              describe(console.packages[2]));
  });
  EXPECT_FALSE(exists(root.at("/ram/pdb/smp-bundle/schedule")));
}

TEST(DatabaseLoader, ImageRecordsAndTheirDirectories) {
  DeviceRoot root;
  // Only the describing parts are read: the architecture and the image flag
  // are passed over.
  writeEntry(root, "smp-image", {{"image", sample("sample-image.tpk")}, {"enabled", "user\n"}});
  // A header naming another package: the directory is loaded once more under
  // its own name, from its meta files.
  writeEntry(root, "renamed", {{"image", sample("sample-relations.tpk")},
                               {"version", "9 10\n"}, {"files", "a\n"}});
  // A second image place, used when the entry has no image of its own.
  writeEntry(root, "smp-plain", {});
  makeDirs(root.at("/rw/pckg/.images"));
  writeFile(root.at("/rw/pckg/.images/smp-plain"), sample("sample-plain.tpk"));
  // An image there without a database entry is not loaded.
  writeFile(root.at("/rw/pckg/.images/stray"), sample("sample-plain.tpk"));
  // A truncated header: the record keeps its directory's name and falls back
  // to the meta files.
  writeEntry(root, "cut", {{"image", sample("sample-plain.tpk").substr(0, 30)},
                           {"version", "3 4\n"}, {"files", ""}});

  // A header whose name would leave the database: the record keeps its
  // directory's name, and a bundle member so named is not recorded at all;
  // the members after it are.
  pkgwriter::PackageLayout dots, inner;
  dots.name = "..";
  dots.version = 7;
  dots.note = "passed over";
  inner.name = "inner";
  writeEntry(root, "dots", {{"image", pkgwriter::buildPackageFile(dots)}});
  pkgwriter::BundleLayout bundle;
  bundle.name = "outer";
  bundle.members = {pkgwriter::buildPackageBody(dots), pkgwriter::buildPackageBody(inner)};
  writeEntry(root, "outer", {{"image", pkgwriter::buildBundleFile(bundle)}});

  RUN_CHROOTED(root.path(), [] {
    Console& console = childConsole();
    loadDatabase(console, false, "i386");
    ASSERT_EQ(8u, console.packages.size());
    for (const auto& record : console.packages) EXPECT_TRUE(isPlainName(record->name)) << record->name;
    ASSERT_NE(nullptr, console.packages.find("outer"));
    ASSERT_NE(nullptr, console.packages.find("inner"));
    // No meta files to fall back on.
    EXPECT_EQ(ScheduledAction::Uninstall, console.packages.find("dots")->action);

    // The type-16 part and the image flag are not wanted: i386, not an image.
    EXPECT_EQ("smp-image 5016600 1704078000 f1 i386|||image sample| [] [] [] in :0:0 {} user action0",
              describe(*console.packages.find("smp-image")));
    EXPECT_EQ("smp-rel 1046202 1704070800 f0 i386|||relations sample| "
              "[smp-plain:33777152:0:0 system:100689408:117466624:0 ] "
              "[smp-api:16803328:17393152:-1 ] [smp-old:0:16803328:0 ] in :0:0 {} action0",
              describe(*console.packages.find("smp-rel")));
    EXPECT_EQ("renamed 9 10 f0 |||| [] [] [] in :0:0 {/a } action0",
              describe(*console.packages.find("renamed")));
    EXPECT_EQ("smp-plain 2036601 1704067200 f0 i386|sample text||| [] [] [] in :0:0 {} action0",
              describe(*console.packages.find("smp-plain")));  // no meta files needed
    EXPECT_EQ(nullptr, console.packages.find("stray"));
    EXPECT_EQ("cut 3 4 f0 |||| [] [] [] in :0:0 {} action0", describe(*console.packages.find("cut")));
  });
}
