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

constexpr std::uint16_t regular = pkgwriter::regularType;
constexpr std::uint16_t directory = pkgwriter::directoryType;
constexpr std::uint16_t symlinkEntry = pkgwriter::symlinkType;
constexpr std::uint16_t charDevice = pkgwriter::charDeviceType;
constexpr std::uint16_t blockDevice = pkgwriter::blockDeviceType;
constexpr std::uint16_t fifo = pkgwriter::fifoType;

// A processor of variant 1, without flash nodes.
struct Variant1Device : FlashPlatform {
  std::optional<std::uint32_t> mtdEraseSize() override { return std::nullopt; }
  std::uint32_t minimumVersionValue() override { return 0; }
  std::optional<int> featureWord() override { return std::nullopt; }
  std::uint32_t processorVersion() override { return 0x80830000; }
};

struct EntryCase {
  const char* name;
  std::uint16_t mode;  // type and permission bits
  EntryAttributes attributes;
  std::string data;  // contents or link target
  std::uint32_t device;
  const char* madeAt;  // below the tree's root; nullptr when the entry is skipped
};

std::string patterned(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>(i * 7 + i / 16384);
  return text;
}

const EntryCase entryCases[] = {
    // A directory that gets its contents later ends with its own time.
    {"opt", directory | 0755, {.time = 1000000}, "", 0, "/opt"},
    // Set-user-ID and set-group-ID survive because the owner is set first.
    {"opt/tool", regular | 04755, {.uid = 1000, .gid = 1000, .time = 1000100}, "t", 0, "/opt/tool"},
    {"opt/grp", regular | 02750, {.gid = 100, .time = 1000200}, "g", 0, "/opt/grp"},
    {"opt/big", regular | 0640, {.time = 1000300}, patterned(40000), 0, "/opt/big"},
    // A link gets its owner, no mode and no time (the time would land on its target).
    {"opt/t", symlinkEntry | 0777, {.uid = 5, .gid = 6, .time = 1000400}, "tool", 0, "/opt/t"},
    {"opt/null0", charDevice | 0666, {.time = 1000500}, "", 0x201, "/opt/null0"},
    {"opt/blk0", blockDevice | 0660, {.gid = 6, .time = 1000600}, "", 0x123456, "/opt/blk0"},
    {"opt/ctl", fifo | 0620, {.uid = 100, .gid = 100, .time = 1000700}, "", 0, "/opt/ctl"},
    {"opt/tmp", directory | 01777, {.time = 1000800}, "", 0, "/opt/tmp"},
    {"/bin/tool", regular | 0755, {.time = 1000900}, "same as bin/tool", 0, "/bin/tool"},
    {"a..b", regular | 0644, {.time = 1}, "1", 0, "/a..b"},
    {"...", regular | 0644, {.time = 2}, "2", 0, "/..."},
    {"..x", regular | 0644, {.time = 3}, "3", 0, "/..x"},
    {".hidden", regular | 0644, {.time = 4}, "4", 0, "/.hidden"},
    {"v1/mine", regular | 0644, {.time = 5, .variant = 1}, "5", 0, "/v1/mine"},
    {"v2/other", regular | 0644, {.time = 6, .variant = 2}, "6", 0, nullptr},
};

FileTreeBuilder treeOf(const EntryCase* begin, const EntryCase* end) {
  FileTreeBuilder tree;
  for (const EntryCase* c = begin; c != end; ++c) {
    const std::uint16_t permissions = c->mode & 07777;
    if ((c->mode & 0xF000) == charDevice) {
      tree.addCharDevice(c->name, c->device, permissions, c->attributes);
    } else if ((c->mode & 0xF000) == blockDevice) {
      tree.addBlockDevice(c->name, c->device, permissions, c->attributes);
    } else {
      tree.addRaw(c->mode, c->name, c->data, c->attributes);
    }
  }
  return tree;
}

std::string readLink(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
  return length < 0 ? std::string("(no link)") : std::string(target, std::size_t(length));
}

}  // namespace

TEST(FileExtraction, EveryEntryTypeWithItsAttributes) {
  const std::string file =
      packageFile(signedLayout("tree", treeOf(std::begin(entryCases), std::end(entryCases))));
  DeviceRoot root;
  RUN_CHROOTED(root.path(), [&file] {
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
      std::set<std::string> recorded;
      for (const EntryCase& c : entryCases) {
        if (c.madeAt != nullptr && (c.mode & 0xF000) != directory)
          recorded.insert((disabled ? "/x/tree" : "") + std::string(c.madeAt));
      }
      EXPECT_EQ(recorded, package.files);
    }
  });

  EXPECT_TRUE(exists(root.at("/flash/x/tree/var/pdb/tree")));
  for (const std::string treeRoot : {"/flash", "/flash/x/tree"}) {
    for (const EntryCase& c : entryCases) {
      SCOPED_TRACE(treeRoot + " " + c.name);
      if (c.madeAt == nullptr) {  // not made, but its parent is
        EXPECT_FALSE(exists(root.at(treeRoot + "/" + c.name)));
        EXPECT_TRUE(exists(root.at(treeRoot + "/v2")));
        continue;
      }
      const std::string path = root.at(treeRoot + c.madeAt);
      const struct stat info = statOf(path);
      EXPECT_EQ(c.mode, info.st_mode & 0xFFFF);
      EXPECT_EQ(c.attributes.uid, info.st_uid);
      EXPECT_EQ(c.attributes.gid, info.st_gid);
      const std::uint16_t type = c.mode & 0xF000;
      if (type != symlinkEntry) {
        EXPECT_EQ(time_t(c.attributes.time), info.st_mtime);
        EXPECT_EQ(time_t(c.attributes.time), info.st_atime);
      }
      if (type == charDevice || type == blockDevice) {
        EXPECT_EQ(dev_t(c.device), info.st_rdev);
      }
      if (type == regular) {
        EXPECT_TRUE(readFile(path) == c.data);
      }
      if (type == symlinkEntry) {
        EXPECT_EQ(c.data, readLink(path));
      }
    }
  }
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

// The entries of tree without the last drop bytes.
FileTreeBuilder cut(const FileTreeBuilder& tree, std::size_t drop) {
  return FileTreeBuilder().addBytes(tree.raw().substr(0, tree.raw().size() - drop));
}

}  // namespace

TEST(FileExtraction, FailuresByKindAndEntriesThatWouldLeaveTheTree) {
  const std::string broken = "broken package";
  struct Case {
    const char* what;
    FileTreeBuilder tree;
    std::string message;  // after "installation of bad-1.0 failed: "; empty: success
    bool failingNodes = false;
  } cases[] = {
      {"name cut short", cut(FileTreeBuilder().addFile("cut-name", ""), 3), broken},
      {"link target cut short", cut(FileTreeBuilder().addSymlink("l", "target"), 2), broken},
      {"file data cut short", cut(FileTreeBuilder().addFile("data", patterned(20000)), 1), broken},
      {"device number cut short", cut(FileTreeBuilder().addCharDevice("dev", 0x201), 2), broken},
      {"device data of 5 bytes", FileTreeBuilder().addRaw(charDevice | 0666, "dev5", "abcde"),
       broken},
      {"socket", FileTreeBuilder().addRaw(0xC000 | 0755, "sock", ""), broken},
      {"link target longer than a path",
       FileTreeBuilder().addSymlink("far", std::string(PATH_MAX + 1, 't')), broken},
      {"name longer than a path", FileTreeBuilder().addFile(std::string(PATH_MAX + 1, 'n'), ""),
       broken},
      {"directory below a file", FileTreeBuilder().addFile("plain", "x").addDirectory("plain/d"),
       "could not create plain/d: Not a directory"},
      {"file over a directory", FileTreeBuilder().addDirectory("d1").addFile("d1", "x"),
       "could not create d1: Is a directory"},
      {"link over a directory", FileTreeBuilder().addDirectory("d2").addSymlink("d2", "x"),
       "could not create d2: File exists"},
      {"fifo over a directory", FileTreeBuilder().addDirectory("d3").addFifo("d3"),
       "could not create d3: File exists"},
      {"full file system", FileTreeBuilder().addFile("full/big", patterned(65536)),
       "disk is too small"},
      {"device error", FileTreeBuilder().addCharDevice("node", 0x201), "disk error", true},
      {"header cut at the end",
       FileTreeBuilder()
           .addFile("whole", "w")
           .addBytes(FileTreeBuilder().addFile("next", "").raw().substr(0, 29)),
       ""},
      {"data skipped past the end",
       cut(FileTreeBuilder().addRaw(regular | 0644, "elsewhere", "abcdef", {.variant = 9}), 3), ""},
      // Entries that would reach outside the tree.
      {"the parent", FileTreeBuilder().addDirectory(".."), broken},
      {"the parent's child", FileTreeBuilder().addFile("../x", "escaped"), broken},
      {"down and up twice", FileTreeBuilder().addFile("a/../../x", "escaped"), broken},
      {"down and up", FileTreeBuilder().addDirectory("a/.."), broken},
      {"below its own link to the root",
       FileTreeBuilder().addSymlink("lnk", "/").addFile("lnk/etc/x", "escaped"), broken},
      {"below its own link, spelled loosely",
       FileTreeBuilder().addSymlink("lnk2", "/").addFile("./lnk2//etc/y", "escaped"), broken},
      {"below its own relative link",
       FileTreeBuilder().addSymlink("up", "../..").addFile("up/y", "escaped"), broken},
      {"below its own link whose name holds a NUL",
       FileTreeBuilder().addSymlink(std::string("nul\0x", 5), "/").addFile("nul/etc/z", "escaped"),
       broken},
      {"at its own dangling link",
       FileTreeBuilder().addSymlink("dang", "/outside").addFile("dang", "inside"), ""},
      {"below a link of the device", FileTreeBuilder().addFile("shared/f", "stored"), ""},
  };
  DeviceRoot root;
  makeDirs(root.at("/flash/store"));
  ::symlink("/flash/store", root.at("/flash/shared").c_str());  // a link of the device
  makeDirs(root.at("/flash/full"));
  testing_support::ChrootOptions small;
  small.tmpfsAt = "/flash/full";
  small.tmpfsBytes = 16384;
  std::vector<std::string> files;
  for (const Case& c : cases) files.push_back(packageFile(signedLayout("bad", c.tree)));
  const std::string before = outsideFlash(root.path());
  RUN_CHROOTED(
      root.path(),
      [&cases, &files] {
        for (std::size_t i = 0; i < files.size(); ++i) {
          SCOPED_TRACE(cases[i].what);
          Console& console = childConsole();
          InstalledPackage package("bad");
          package.version = testVersion;
          FailingNodes failingNodes;
          std::optional<ScopedInstallPlatform> platform;
          if (cases[i].failingNodes) platform.emplace(failingNodes);
          const std::string& message = cases[i].message;
          EXPECT_EQ(message.empty(), extractTree(console, package, files[i]));
          EXPECT_EQ(message.empty() ? Messages{}
                                    : Messages{"ERROR: installation of bad-1.0 failed: " + message},
                    console.messages);
        }
      },
      small);
  EXPECT_EQ(before, outsideFlash(root.path()));
  EXPECT_EQ("w", readFile(root.at("/flash/whole")));
  EXPECT_EQ("inside", readFile(root.at("/flash/dang")));
  EXPECT_EQ("stored", readFile(root.at("/flash/store/f")));
}
