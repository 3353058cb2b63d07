// What the console says is what the device holds: a file tree that is not
// whole, a failed installation beside the installed release of its name, files
// that two packages deliver (outcomes in tests/data/e2e/extraction-<case>.txt),
// and a flash that runs out of room for one more file or directory.
#include <fcntl.h>
#include <unistd.h>

#include <functional>

#include "e2e_helpers.h"
#include "support/chroot_runner.h"

namespace {

using namespace e2e;
using pkgwriter::FileTreeBuilder;

constexpr std::uint16_t socketMode = 0140755;  // no package may deliver one

struct Root : DeviceRoot {
  explicit Root(const std::string& name) { lay(*this, name); }
  std::string stream(const std::string& bytes) const {
    ProcessOptions options;
    options.input = bytes;
    return outcome(run({"-"}, options), *this);
  }
};

// A signed package whose file tree part holds compressed as it is.
std::string withTree(const std::string& name, const std::string& compressed, Version version = v1,
                     std::uint32_t magic = pkgwriter::standardMagic) {
  pkgwriter::PackageLayout layout = package(name, version);
  layout.fileTree = compressed;
  return fileOf(layout, magic);
}

const std::map<std::string, std::function<std::string()>> scenarios = {
    {"tree-cut-between-entries",
     [] {
       FileTreeBuilder first;
       first.addFile("bin/tool", "tool\n");
       const std::string both = FileTreeBuilder(first).addFile("bin/extra", "extra\n").raw();
       // Stored, the entries stand as they are after the zlib header and the block's own.
       const std::string stored = pkgwriter::zlibCompress(both, 0);
       EXPECT_EQ(stored.substr(7, both.size()), both);
       const std::string cut = stored.substr(0, 7 + first.raw().size());
       return Root("stream-base.before").stream(withTree("tool", cut));
     }},
    {"alternate-magic-failure",
     [] {
       const std::string tree = FileTreeBuilder()
                                    .addFile("bin/tool2", "2\n")
                                    .addRaw(socketMode, "bin/s", "")
                                    .compressed();
       return Root("stream-tool-1.0.before")
           .stream(withTree("tool", tree, v2, pkgwriter::alternateMagic));
     }},
    {"shared-files",
     [] {
       // c fails after delivering what a and b deliver too; then a goes.
       const Root root("extraction-shared-files.before");
       const std::string tree = FileTreeBuilder()
                                    .addFile("./lib/libshared.so", "c\n")
                                    .addFile("bin/c", "c\n")
                                    .addRaw(socketMode, "bin/s", "")
                                    .compressed();
       std::string seen = root.stream(withTree("c", tree));
       makeDirs(root.at("/ram/pdb/a"));
       writeFile(root.at("/ram/pdb/a/schedule"), "uninstall\n");
       return seen + outcome(root.run({}), root);
     }},
};

TEST(Extraction, RecordedScenarios) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  for (const auto& [name, scenario] : scenarios) expectRecorded("extraction-" + name, scenario());
}

// A flash with room for n more files and directories, n from none on until
// the package fits: the run installs it and says so, or says that there is
// no room and leaves neither its entry nor its file.
TEST(Extraction, AFlashWithoutRoomIsAlwaysReported) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const std::string stream = fileOf(package("tool", v1, "usr/bin/"));
  const Lines noRoom = {"ERROR: could not open image",
                        "ERROR: installation of tool-1.0 failed: disk is too small"};
  bool installed = false;
  for (int room = 0; room < 16 && !installed; ++room) {
    SCOPED_TRACE("room for " + std::to_string(room));
    const DeviceRoot root;
    ChrootOptions flash;
    flash.tmpfsAt = root.path() + "/flash";
    flash.tmpfsBytes = 1 << 20;
    flash.tmpfsInodes = 64;
    RUN_CHROOTED(
        "/",
        [&] {
          lay(root, "stream-base.before");
          const std::string fill = root.at("/flash/fill/");
          makeDirs(fill);
          int made = 0;
          for (int fd;
               made < 100 && (fd = ::creat((fill + std::to_string(made)).c_str(), 0600)) >= 0;)
            ::close(fd), ++made;
          ASSERT_LT(made, 100);
          for (int i = 0; i < room; ++i) ::unlink((fill + std::to_string(i)).c_str());
          ProcessOptions options;
          options.input = stream;
          const ProcessResult result = root.run({"-"}, options);
          const Lines lines = shownLines(result.output);
          const bool said =
              std::find(lines.begin(), lines.end(), "installed tool-1.0") != lines.end();
          const bool there = exists(root.at("/flash/usr/bin/tool")) &&
                             exists(root.at("/flash/var/pdb/tool/files"));
          EXPECT_EQ(said, result.status == 0) << result.output;
          EXPECT_EQ(said, there) << result.output;
          if (!said) {
            EXPECT_FALSE(exists(root.at("/flash/var/pdb/tool")));
            EXPECT_NE(std::find_first_of(lines.begin(), lines.end(), noRoom.begin(), noRoom.end()),
                      lines.end())
                << result.output;
          }
          writeFile(root.at("/rw/outcome"), said ? "installed" : "");
        },
        flash);
    installed = readFile(root.at("/rw/outcome")) == "installed";
  }
  EXPECT_TRUE(installed);
}

}  // namespace
