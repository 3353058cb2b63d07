// The package database loader, writer and messages; records and trees compared as text.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>

#include "../pkgfile/record_text.h"
#include "files/device_root.h"
#include "files/file_platform.h"
#include "pdb/database_loader.h"
#include "pdb/database_writer.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/pkgwriter.h"
#include "support/captured_console.h"
#include "support/device_tree.h"
#include "support/installer_process.h"

using namespace testing_support;

namespace {

std::string describe(const InstalledPackage& p) {
  std::ostringstream out;
  out << headerText(p);
  out << " in " << p.bundle.name << ':' << std::hex << p.bundle.min << ':' << p.bundle.max
      << std::dec << " {";
  for (const std::string& file : p.files) out << file << ' ';
  out << '}' << (p.disabled ? " disabled" : "") << (p.userForced ? " user" : "") << " action"
      << int(p.action);
  return out.str();
}

std::string loadedText(const PackageDb& db) {
  std::vector<const InstalledPackage*> records;
  for (const auto& record : db) records.push_back(record.get());
  const auto group = [](const InstalledPackage* p) {
    return p->bundle.name.empty() ? p->name : p->bundle.name;
  };
  std::stable_sort(records.begin(), records.end(),
                   [&](auto* a, auto* b) { return group(a) < group(b); });
  std::string text;
  for (const InstalledPackage* p : records) text += describe(*p) + "\n";
  return text;
}

std::string expected(const std::string& name) { return dataFile("pdb/" + name); }

Dependency dependencyOf(std::istream& in) {
  Dependency d;
  std::getline(in >> std::ws, d.name, ':');
  char colon;
  in >> d.min >> colon >> d.max >> colon >> d.extra;
  return d;
}

std::vector<std::unique_ptr<InstalledPackage>> recordShapes() {
  std::vector<std::unique_ptr<InstalledPackage>> shapes;
  std::string name, state, field;
  for (const std::string& line : dataLines("pdb/shapes.txt")) {
    std::istringstream in(line);
    in >> name;
    auto& pkg = *shapes.emplace_back(std::make_unique<InstalledPackage>(name));
    in >> std::hex >> pkg.version >> std::dec >> pkg.buildTime >> pkg.flags;
    std::getline(in >> std::ws, state, '|');
    const auto has = [&state](char flag) { return state.find(flag) != std::string::npos; };
    pkg.disabled = has('d'), pkg.userForced = has('u'), pkg.isImage = has('i'),
    pkg.isBundle = has('b');
    for (auto* list : {&pkg.deps, &pkg.provides, &pkg.conflicts}) {
      std::getline(in, field, '|');
      for (std::istringstream items(field); items >> std::ws && !items.eof();)
        list->push_back(dependencyOf(items));
    }
    pkg.bundle = dependencyOf(in);
    if (in.ignore() && in.peek() != EOF)
      while (std::getline(in, field, ',')) pkg.files.insert(field);
  }
  return shapes;
}

// The record written into the package's entry, which is made when missing.
WriteResult writeRecord(Console& console, const InstalledPackage& package) {
  const FileHandle database = openDatabaseDir(true);
  return writePackageRecord(console, package,
                            openPackageDir(database.get(), package.name, true).get());
}

unsigned modeOf(const std::string& path) {
  return unsigned(std::filesystem::status(path).permissions());
}

// Every file call of one kind fails with error.
struct Failing final : FileFaultPlan {
  FileCall kind;
  int error;
  Failing(FileCall kind, int error) : kind(kind), error(error) {}
  FileFault before(std::uint64_t, FileCall call) override {
    return call == kind ? FileFault{FileFault::Fail, error, 0} : FileFault{};
  }
};

}  // namespace

TEST(DatabaseRoundTrip, EveryRecordShapeIsWrittenExactlyAndReadsBack) {
  DeviceRoot root;
  const std::string pdb = root.at("/flash/var/pdb/");
  makeDirs(pdb + "plain");
  for (const char* file : {"bundle", "disabled", "enabled", "oninstall"})
    writeFile(pdb + "plain/" + file, "x\n");
  makeDirs(pdb + "meta-img");
  for (const char* name : {"version", "deps", "provides", "conflicts", "bundle", "files"})
    writeFile(pdb + "meta-img/" + name, "1 1\n");
  pkgwriter::PackageLayout layout;
  layout.name = "meta-img", layout.version = 0x06016600, layout.buildTime = 1700000000;
  layout.flags = imageMeta, layout.note = "from the image";
  layout.deps = std::vector<pkgwriter::ListEntry>{{"system", 100689408, 0xFFFFFFFF, 0, 0}};
  layout.provides = std::vector<pkgwriter::ListEntry>{{"api", 1, 2, -1, 0}};
  layout.image = std::string(100, 'i');
  writeFile(pdb + "meta-img/image", pkgwriter::buildPackageFile(layout));

  const ScopedDeviceRoot device(root.path());
  CapturedConsole writer, reader;
  for (const auto& shape : recordShapes()) {
    ASSERT_EQ(writeRecord(writer.console, *shape), WriteResult::Written) << shape->name;
  }
  EXPECT_TRUE(writer.console.messages.empty());
  loadDatabase(reader.console, false, "i386");
  EXPECT_TRUE(reader.console.messages.empty());
  EXPECT_EQ(expected("read-back.txt"), loadedText(reader.console.packages));
  EXPECT_EQ(expected("written.txt"), treeText(root.at("/flash/var/pdb")));
}

TEST(DatabaseLoader, EntriesSchedulesAndImages) {
  DeviceRoot root;
  layOut(root.path(), expected("loader.txt"));
  const std::string pipe = root.at("/ram/pdb/piped/schedule");
  makeDirs(root.at("/ram/pdb/piped"));
  ASSERT_EQ(0, ::mkfifo(pipe.c_str(), 0600));
  const int writer = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  ASSERT_EQ(10, ::write(writer, "uninstall\n", 10));
  // A header name leaving the database: the record keeps its directory's name;
  // a bundle member so named is not recorded, the members after it are.
  pkgwriter::PackageLayout dots, inner;
  dots.name = "..", dots.version = 7, inner.name = "inner";
  makeDirs(root.at("/flash/var/pdb/dots"));
  writeFile(root.at("/flash/var/pdb/dots/image"), pkgwriter::buildPackageFile(dots));
  pkgwriter::BundleLayout bundle;
  bundle.name = "outer";
  bundle.members = {pkgwriter::buildPackageBody(dots), pkgwriter::buildPackageBody(inner)};
  makeDirs(root.at("/flash/var/pdb/outer"));
  writeFile(root.at("/flash/var/pdb/outer/image"), pkgwriter::buildBundleFile(bundle));

  const ScopedDeviceRoot device(root.path());
  CapturedConsole out;
  loadDatabase(out.console, true, "i386");
  EXPECT_TRUE(out.console.quiet);
  EXPECT_EQ("i386", out.console.arch);
  EXPECT_EQ(expected("loaded.txt"), loadedText(out.console.packages));
  EXPECT_EQ(expected("schedules-left.txt"), treeText(root.at("/ram/pdb")));
  ::close(writer);
}

// Each failure is reported once and ends the work: no state file and no
// partial script stay behind. A package from a bundle is named by the bundle,
// whose name looks like a format and is shown as it is.
TEST(DatabaseWriter, AFailureIsReportedOnceAndEndsTheWork) {
  struct Case {
    std::string blocked, script, length, file, message;
  };
  std::vector<Case> cases;
  for (const std::string& line : dataLines("pdb/write-failures.txt")) {
    std::istringstream in(line);
    Case& c = cases.emplace_back();
    for (std::string* field : {&c.blocked, &c.script, &c.length, &c.file, &c.message})
      std::getline(in, *field, '|');
    if (c.blocked == "-") c.blocked.clear();
    if (const auto at = c.file.find("\\n"); at != std::string::npos) c.file.replace(at, 2, "\n");
  }
  ASSERT_EQ(cases.size(), 11u);
  Failing full(FileCall::Write, ENOSPC);
  for (const Case& c : cases) {
    DeviceRoot root;
    const std::string dir = root.at("/flash/var/pdb/pkg/");
    makeDirs(dir + c.blocked);
    const ScopedDeviceRoot device(root.path());
    std::optional<ScopedFileFaults> diskFull;
    if (c.blocked.empty()) diskFull.emplace(full);
    InstalledPackage pkg("pkg");
    pkg.bundle = {"sys%s%n", c.blocked.empty() ? 0x03006301u : 0,
                  c.blocked.empty() ? 0x03006301u : 0, 0};
    pkg.provides = pkg.conflicts = {{"p", 0, 0, 0}};
    pkg.files = {"/f", c.file};
    pkg.disabled = true;
    CapturedConsole out;
    std::istringstream part("echo cut");
    EXPECT_EQ(c.script != "-"
                  ? writeScript(out.console, pkg, part, std::stoul(c.length), c.script.c_str())
                  : writeRecord(out.console, pkg),
              WriteResult::NotWritten);
    EXPECT_EQ(std::vector<std::string>{"ERROR: installation of " + c.message},
              out.console.messages);
    EXPECT_FALSE(exists(dir + "oninstall")) << c.message;
    EXPECT_TRUE(c.blocked == "disabled" || !exists(dir + "disabled")) << c.message;
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
  const ScopedDeviceRoot device(root.path());
  CapturedConsole out;
  std::istringstream input(file);
  PartStream stream(input, true);
  stream.wanted = {partInstallScript, partUninstallScript};
  InstalledPackage pkg("pkg");
  for (const char* script : {"oninstall", "onuninstall"}) {
    ASSERT_NE(-1, stream.next());
    EXPECT_EQ(writeScript(out.console, pkg, stream, stream.partLength(), script),
              WriteResult::Written);
  }
  EXPECT_TRUE(out.console.messages.empty());
  const std::string dir = root.at("/flash/var/pdb/pkg/"), header = expected("script-header.txt");
  EXPECT_EQ(header + "echo in\r\nexit 0", readFile(dir + "oninstall"));
  EXPECT_TRUE(readFile(dir + "onuninstall") == header + uninstall);
  for (const char* script : {"oninstall", "onuninstall"}) EXPECT_EQ(0755u, modeOf(dir + script));
}

// One state file at most; a missing entry directory is created searchable.
// Names that would leave the database, or that the loader passes over, are refused.
TEST(DatabaseWriter, StateFilesAndRefusedNames) {
  DeviceRoot root;
  const ScopedDeviceRoot device(root.path());
  const mode_t mask = ::umask(0);
  const struct {
    bool disable, userForced;
    const char* tree;
  } steps[] = {{true, false, "/disabled = auto|\n"},
               {false, true, "/enabled = user|\n"},
               {false, false, ""},
               {true, true, "/disabled = user|\n"},
               {false, false, ""}};
  InstalledPackage pkg("pkg");
  const std::string entry = root.at("/flash/var/pdb/pkg");
  for (const auto& step : steps) {
    pkg.userForced = step.userForced;
    pkg.action = ScheduledAction::Enable;
    EXPECT_EQ(MarkResult::Recorded, step.disable ? markDisabled(pkg) : markEnabled(pkg));
    EXPECT_EQ(step.disable, pkg.disabled);
    EXPECT_EQ(ScheduledAction::None, pkg.action);
    EXPECT_EQ(step.tree, treeText(entry));
  }
  EXPECT_EQ(0770u, modeOf(entry));
  ::umask(mask);
  CapturedConsole out;
  for (const char* name : {"..", "a/../../..", "", ".hidden"}) {
    InstalledPackage refused(name);
    refused.disabled = true;
    std::istringstream script("exit 0");
    EXPECT_EQ(writeScript(out.console, refused, script, 6, "oninstall"), WriteResult::NotWritten);
    EXPECT_EQ(MarkResult::NotFiled, markDisabled(refused));
  }
  EXPECT_EQ(4u, out.console.messages.size());
  EXPECT_EQ("/pdb/\n/pdb/pkg/\n", treeText(root.at("/flash/var")));
  // A link standing at a state file is replaced, not written through.
  ::symlink("../../../../outside", (entry + "/disabled").c_str());
  EXPECT_EQ(MarkResult::Recorded, markDisabled(pkg));
  EXPECT_EQ("/disabled = auto|\n", treeText(entry));
  EXPECT_FALSE(exists(root.at("/outside")));
  // A state file that cannot be written, an entry that cannot be made.
  Failing writes(FileCall::Write, EIO), directories(FileCall::MakeDir, EIO);
  InstalledPackage fresh("fresh");
  {
    const ScopedFileFaults faults(writes);
    EXPECT_EQ(MarkResult::NotWritten, markDisabled(pkg));
  }
  const ScopedFileFaults faults(directories);
  EXPECT_EQ(MarkResult::NoEntry, markEnabled(fresh));
}
