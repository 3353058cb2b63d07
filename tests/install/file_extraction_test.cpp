// The file extractor on scratch roots: every entry type with its attributes,
// what it does with objects already at an entry's path, failures by kind, and
// entries that would reach outside the package's tree.
#include "install/file_extraction.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "install/flash_platform.h"
#include "install/install_platform.h"
#include "install_fixture.h"
#include "support/chroot_runner.h"
#include "support/installer_process.h"

using namespace install_testing;
using pkgwriter::EntryAttributes;
using pkgwriter::FileTreeBuilder;
using testing_support::childConsole;
using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

using Messages = std::vector<std::string>;

constexpr std::uint16_t directory = pkgwriter::directoryType;
constexpr std::uint16_t symlinkEntry = pkgwriter::symlinkType;

// A processor of variant 1, without flash nodes.
struct Variant1Device : FlashPlatform {
  std::optional<std::uint32_t> mtdEraseSize() override { return std::nullopt; }
  std::uint32_t minimumVersionValue() override { return 0; }
  std::optional<int> featureWord() override { return std::nullopt; }
  std::uint32_t processorVersion() override { return 0x80830000; }
};

std::string readLink(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
  return length < 0 ? std::string("(no link)") : std::string(target, std::size_t(length));
}

}  // namespace

TEST(FileExtraction, EveryEntryTypeWithItsAttributes) {
  std::string spec;
  for (const std::string& line : dataLines("entries.txt")) spec += line + ' ';
  const std::string file = packageFile(signedLayout("tree", treeOf(spec)));
  const std::string recorded = dataText("entries-recorded.txt");
  DeviceRoot root;
  RUN_CHROOTED(root.path(), [&file, &recorded] {
    ::umask(077);  // the modes must come from the entries, not from the mask
    Variant1Device device;
    ScopedFlashPlatform variant(device);
    for (const bool disabled : {false, true}) {
      Console& console = childConsole();
      InstalledPackage package("tree");
      package.version = testVersion;
      package.disabled = disabled;
      EXPECT_TRUE(extractTree(console, package, file));
      EXPECT_TRUE(console.messages.empty());
      std::string files;
      for (const std::string& path : package.files) files += path + '\n';
      const std::size_t half = recorded.find("/x/");  // the files of a disabled package
      EXPECT_EQ(disabled ? recorded.substr(half) : recorded.substr(0, half), files);
    }
  });
  EXPECT_EQ(dataText("entries-made.txt"), listing(root.at("/flash")));
}

TEST(FileExtraction, ObjectsAlreadyAtAnEntrysPath) {
  DeviceRoot root;
  const auto at = [&root](const std::string& name) { return root.at("/flash/" + name); };
  ::mkdir(at("keep").c_str(), 0700);
  const utimbuf old{5000, 5000};
  ::utime(at("keep").c_str(), &old);
  writeFile(at("old"), "old contents");
  ::link(at("old").c_str(), at("old.bak").c_str());
  makeDirs(at("realdir"));
  ::symlink("realdir", at("dirlink").c_str());
  ::symlink("realdir", at("filelink").c_str());
  ::mkfifo(at("pipe").c_str(), 0600);
  ::symlink("old.bak", at("tofile").c_str());

  const std::string file = packageFile(signedLayout(
      "ex", FileTreeBuilder()
                .addDirectory("keep", 0755, {.time = 6000})     // kept as it is
                .addFile("old", "new")                          // the hard link keeps the old
                .addDirectory("dirlink", 0755, {.time = 6000})  // a link to a directory counts
                .addFile("filelink", "f")                       // the link goes, not its target
                .addSymlink("pipe", "old")
                .addFifo("tofile")));
  RUN_CHROOTED(root.path(), [&file] {
    Console& console = childConsole();
    InstalledPackage package("ex");
    EXPECT_TRUE(extractTree(console, package, file));
    EXPECT_EQ((std::set<std::string>{"/old", "/filelink", "/pipe", "/tofile"}), package.files);
  });

  EXPECT_EQ(S_IFDIR | 0700u, statOf(at("keep")).st_mode);
  EXPECT_EQ(5000, statOf(at("keep")).st_mtime);
  EXPECT_EQ("new", readFile(at("old")));
  EXPECT_EQ("old contents", readFile(at("old.bak")));
  EXPECT_TRUE(S_ISLNK(statOf(at("dirlink")).st_mode));
  EXPECT_EQ("f", readFile(at("filelink")));
  EXPECT_TRUE(S_ISDIR(statOf(at("realdir")).st_mode));
  EXPECT_EQ("old", readLink(at("pipe")));
  EXPECT_TRUE(S_ISFIFO(statOf(at("tofile")).st_mode));
}

namespace {

// A device whose flash answers every mknod with an I/O error.
struct FailingNodes : DeviceInstallPlatform {
  int makeNode(const char*, mode_t, dev_t) override {
    errno = EIO;
    return -1;
  }
};

}  // namespace

TEST(FileExtraction, FailuresByKindAndEntriesThatWouldLeaveTheTree) {
  struct Case {
    std::string what, message;  // message after "installation of bad-1.0 failed: "
    bool failingNodes;
    std::string file;
  };
  std::vector<Case> cases;
  for (const std::string& line : dataLines("extraction-failures.txt")) {
    const std::vector<std::string> f = fieldsOf(line, '|', 4);
    cases.push_back({f[0], f[2], f[3] == "yes", packageFile(signedLayout("bad", treeOf(f[1])))});
  }
  ASSERT_EQ(26u, cases.size());
  DeviceRoot root;
  makeDirs(root.at("/flash/store"));
  ::symlink("/flash/store", root.at("/flash/shared").c_str());  // a link of the device
  makeDirs(root.at("/flash/full"));
  testing_support::ChrootOptions small;
  small.tmpfsAt = "/flash/full";
  small.tmpfsBytes = 16384;
  const std::string before = outsideFlash(root.path());
  RUN_CHROOTED(
      root.path(),
      [&cases] {
        for (const Case& c : cases) {
          SCOPED_TRACE(c.what);
          Console& console = childConsole();
          InstalledPackage package("bad");
          package.version = testVersion;
          FailingNodes failingNodes;
          std::optional<ScopedInstallPlatform> platform;
          if (c.failingNodes) platform.emplace(failingNodes);
          EXPECT_EQ(c.message.empty(), extractTree(console, package, c.file));
          EXPECT_EQ(c.message.empty() ? Messages{}
                                      : Messages{"ERROR: installation of bad-1.0 failed: " + c.message},
                    console.messages);
        }
      },
      small);
  EXPECT_EQ(before, outsideFlash(root.path()));
  EXPECT_EQ("w", readFile(root.at("/flash/whole")));
  EXPECT_EQ("inside", readFile(root.at("/flash/dang")));
  EXPECT_EQ("stored", readFile(root.at("/flash/store/f")));
}
