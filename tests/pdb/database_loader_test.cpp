// The database loader: meta files, state flags, schedule files and images.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "chroot_runner.h"
#include "pdb/database_loader.h"
#include "pkgwriter/pkgwriter.h"
#include "support/installer_process.h"
#include "support/scratch_dir.h"

using pdb_testing::childConsole;
using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

// Writes the files of one package entry below root's database.
void writeEntry(const DeviceRoot& root, const std::string& name,
                const std::vector<std::pair<std::string, std::string>>& files) {
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

bool sameEntries(const std::vector<Dependency>& list,
                 const std::vector<Dependency>& expected) {
  if (list.size() != expected.size()) return false;
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].name != expected[i].name || list[i].min != expected[i].min ||
        list[i].max != expected[i].max || list[i].extra != expected[i].extra)
      return false;
  }
  return true;
}

}  // namespace

TEST(DependencyListReader, ReadsEntriesAndStopsAtAMalformedOne) {
  ScratchDir scratch;
  std::vector<Dependency> list;
  // Line breaks carry no meaning; extra is signed.
  writeFile(scratch / "provides", "api 1 4294967295 -1\nb\n2 3\n0\n");
  EXPECT_TRUE(readDependencyList(scratch / "provides", list, true));
  EXPECT_TRUE(sameEntries(list, {{"api", 1, 0xFFFFFFFF, -1}, {"b", 2, 3, 0}}));

  list.clear();
  writeFile(scratch / "deps", "a 1 2\nb 3\nc 4 5\n");
  EXPECT_FALSE(readDependencyList(scratch / "deps", list, false));
  EXPECT_TRUE(sameEntries(list, {{"a", 1, 2, 0}}));

  // A provides line without its extra is malformed; a number too large for 32
  // bits is too.
  list.clear();
  writeFile(scratch / "short", "x 1 2\n");
  EXPECT_FALSE(readDependencyList(scratch / "short", list, true));
  EXPECT_TRUE(list.empty());
  writeFile(scratch / "big", "x 4294967296 2\n");
  EXPECT_FALSE(readDependencyList(scratch / "big", list, false));

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
  writeEntry(root, "baddeps", {{"version", "1 2\n"},
                               {"deps", "a 1 2\nb 3\n"},
                               {"conflicts", "c 0 9\n"},
                               {"files", ""}});
  writeEntry(root, "auto", {{"version", "1 2\n"}, {"files", ""}, {"disabled", "auto\n"}});
  writeEntry(root, "user", {{"version", "1 2\n"}, {"files", ""}, {"disabled", "user\n"}});
  writeEntry(root, "blank", {{"version", "1 2\n"}, {"files", ""}, {"disabled", ""}});
  writeEntry(root, "both", {{"version", "1 2\n"}, {"files", ""}, {"disabled", "auto\n"},
                            {"enabled", "user\n"}});
  writeEntry(root, "enabled", {{"version", "1 2\n"}, {"files", ""}, {"enabled", ""}});
  writeFile(root.at("/flash/var/pdb/.hidden"), "");

  RUN_CHROOTED(root.path(), [] {
    Console& console = childConsole();
    loadDatabase(console, false, "powerpc");
    EXPECT_EQ("powerpc", console.arch);
    EXPECT_TRUE(console.messages.empty());
    ASSERT_EQ(9u, console.packages.size());

    const InstalledPackage* only = console.packages.find("only");
    ASSERT_NE(nullptr, only);
    EXPECT_EQ(51667713u, only->version);
    EXPECT_EQ(1704067200u, only->buildTime);
    EXPECT_TRUE(only->deps.empty() && only->provides.empty() && only->conflicts.empty());
    EXPECT_FALSE(only->isBundle);
    EXPECT_FALSE(only->disabled);
    EXPECT_FALSE(only->userForced);
    EXPECT_TRUE(only->bundle.name.empty());
    EXPECT_EQ(ScheduledAction::None, only->action);
    EXPECT_EQ((std::set<std::string>{"/abs/y", "/bin/x", "/last"}), only->files);

    const InstalledPackage* nofiles = console.packages.find("nofiles");
    ASSERT_NE(nullptr, nofiles);
    EXPECT_TRUE(nofiles->isBundle);
    EXPECT_EQ("suite", nofiles->bundle.name);
    EXPECT_EQ(0u, nofiles->bundle.min);

    // Unreadable metadata marks the package for removal instead of failing.
    EXPECT_EQ(ScheduledAction::Uninstall, console.packages.find("empty")->action);
    const InstalledPackage* baddeps = console.packages.find("baddeps");
    EXPECT_EQ(ScheduledAction::Uninstall, baddeps->action);
    EXPECT_TRUE(sameEntries(baddeps->deps, {{"a", 1, 2, 0}}));
    EXPECT_TRUE(sameEntries(baddeps->conflicts, {{"c", 0, 9, 0}}));
    EXPECT_EQ(1u, baddeps->version);

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
  DeviceRoot root;
  const std::vector<std::pair<std::string, std::string>> good = {{"version", "1 2\n"},
                                                                  {"files", ""}};
  writeEntry(root, "gone", good);
  schedule(root, "gone", "uninstall\n");
  writeEntry(root, "on", good);
  schedule(root, "on", "enable");
  writeEntry(root, "off", good);
  schedule(root, "off", " disable\n");
  writeEntry(root, "odd", good);
  schedule(root, "odd", "reboot\n");
  writeEntry(root, "broken", {});  // no version: Uninstall unless scheduled otherwise
  schedule(root, "broken", "enable\n");
  writeEntry(root, "holder", {{"version", "4294967295 4294967295\n"}, {"files", ""}});
  schedule(root, "holder", "uninstall\n");

  RUN_CHROOTED(root.path(), [] {
    Console& console = childConsole();
    loadDatabase(console, true, "i386");
    EXPECT_TRUE(console.quiet);
    ASSERT_EQ(6u, console.packages.size());
    EXPECT_EQ(ScheduledAction::Uninstall, console.packages.find("gone")->action);
    EXPECT_FALSE(console.packages.find("gone")->userForced);
    EXPECT_EQ(ScheduledAction::Enable, console.packages.find("on")->action);
    EXPECT_TRUE(console.packages.find("on")->userForced);
    EXPECT_EQ(ScheduledAction::Disable, console.packages.find("off")->action);
    EXPECT_TRUE(console.packages.find("off")->userForced);
    EXPECT_EQ(ScheduledAction::None, console.packages.find("odd")->action);
    EXPECT_EQ(ScheduledAction::Enable, console.packages.find("broken")->action);
    // A placeholder record takes no schedule.
    EXPECT_EQ(ScheduledAction::None, console.packages.find("holder")->action);
  });
  for (const char* name : {"gone", "on", "off", "odd", "broken"})
    EXPECT_FALSE(exists(root.at("/ram/pdb/") + name + "/schedule")) << name;
  EXPECT_TRUE(exists(root.at("/ram/pdb/holder/schedule")));
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
    const InstalledPackage& first = console.packages[0];
    const InstalledPackage& second = console.packages[1];
    const InstalledPackage& bundle = console.packages[2];
    EXPECT_EQ("smp-m1", first.name);
    EXPECT_EQ(1704074401u, first.buildTime);
    EXPECT_EQ("smp-m2", second.name);
    EXPECT_EQ("smp-bundle", bundle.name);
    for (const InstalledPackage* member : {&first, &second}) {
      EXPECT_EQ("smp-bundle", member->bundle.name);
      EXPECT_EQ(0x03006301u, member->bundle.min);
      EXPECT_EQ(0x03006301u, member->bundle.max);
      EXPECT_FALSE(member->isBundle);
      EXPECT_EQ(ScheduledAction::None, member->action);
    }
    // The bundle's own record: header from the image, state and schedule from
    // its directory; meta files are not read for it.
    EXPECT_TRUE(bundle.isBundle);
    EXPECT_EQ(0x03006301u, bundle.version);
    EXPECT_EQ("bundle sample", bundle.note);
    EXPECT_TRUE(bundle.bundle.name.empty());
    EXPECT_TRUE(bundle.disabled);
    EXPECT_FALSE(bundle.userForced);
    EXPECT_EQ(ScheduledAction::Uninstall, bundle.action);
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
  // directory's name, and a bundle member so named is not recorded at all.
  pkgwriter::PackageSpec dots;
  dots.name = "..";
  dots.version = 7;
  writeEntry(root, "dots", {{"image", pkgwriter::buildPackageFile(dots)}});
  pkgwriter::BundleSpec bundle;
  bundle.name = "outer";
  bundle.members = {pkgwriter::buildPackageBody(dots)};
  writeEntry(root, "outer", {{"image", pkgwriter::buildBundleFile(bundle)}});

  RUN_CHROOTED(root.path(), [] {
    Console& console = childConsole();
    loadDatabase(console, false, "i386");
    ASSERT_EQ(7u, console.packages.size());
    for (const auto& record : console.packages) EXPECT_TRUE(isPlainName(record->name)) << record->name;
    const InstalledPackage* dotsRecord = console.packages.find("dots");
    ASSERT_NE(nullptr, dotsRecord);
    EXPECT_EQ(ScheduledAction::Uninstall, dotsRecord->action);  // no meta files to fall back on
    ASSERT_NE(nullptr, console.packages.find("outer"));

    const InstalledPackage* image = console.packages.find("smp-image");
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(0x05016600u, image->version);
    EXPECT_EQ(1u, image->flags);
    EXPECT_EQ("image sample", image->note);
    EXPECT_EQ("i386", image->architecture);
    EXPECT_FALSE(image->isImage);
    EXPECT_FALSE(image->disabled);
    EXPECT_TRUE(image->userForced);

    const InstalledPackage* relations = console.packages.find("smp-rel");
    ASSERT_NE(nullptr, relations);
    EXPECT_EQ("i386", relations->architecture);  // the type-16 part is not wanted
    ASSERT_EQ(2u, relations->deps.size());
    EXPECT_EQ("system", relations->deps[1].name);
    ASSERT_EQ(1u, relations->provides.size());
    EXPECT_EQ(-1, relations->provides[0].extra);
    ASSERT_EQ(1u, relations->conflicts.size());
    EXPECT_EQ(ScheduledAction::None, relations->action);
    const InstalledPackage* renamed = console.packages.find("renamed");
    ASSERT_NE(nullptr, renamed);
    EXPECT_EQ(9u, renamed->version);
    EXPECT_EQ(std::set<std::string>{"/a"}, renamed->files);

    const InstalledPackage* plain = console.packages.find("smp-plain");
    ASSERT_NE(nullptr, plain);
    EXPECT_EQ(0x02036601u, plain->version);
    EXPECT_EQ("sample text", plain->text24);
    EXPECT_EQ(ScheduledAction::None, plain->action);  // no meta files needed
    EXPECT_EQ(nullptr, console.packages.find("stray"));

    const InstalledPackage* cut = console.packages.find("cut");
    ASSERT_NE(nullptr, cut);
    EXPECT_EQ(3u, cut->version);
    EXPECT_EQ(ScheduledAction::None, cut->action);
  });
}
