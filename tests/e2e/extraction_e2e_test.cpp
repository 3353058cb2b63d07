// What the console says is what the device holds when the flash runs out of
// room for one more file or directory.
#include <fcntl.h>
#include <unistd.h>

#include "e2e_helpers.h"
#include "support/chroot_runner.h"

namespace {

using namespace e2e;

// A flash with room for n more files and directories, n from none on until
// the package fits: the run installs it and says so, or says that there is
// no room and leaves neither its entry nor its file.
TEST(Extraction, AFlashWithoutRoomIsAlwaysReported) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const std::string stream = pkgwriter::buildPackageFile(package("tool", v1, "usr/bin/"));
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
