// The copy of a stream that does not fit on flash fails: reported as the
// package's failed installation when its header made it into the copy, with
// an error line when nothing did; the partial copy goes.
#include <cstdio>

#include "e2e_helpers.h"
#include "support/chroot_runner.h"

namespace {

using namespace e2e;

TEST(OwnFiles, AStreamLargerThanTheFlashIsReportedAndItsCopyRemoved) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  pkgwriter::PackageLayout layout = package("kernel");
  layout.image = std::string(1 << 20, 'k');
  const std::string stream = fileOf(layout);
  for (const bool full : {false, true}) {
    const DeviceRoot root;
    testing_support::ChrootOptions smallFlash;
    smallFlash.tmpfsAt = root.path() + "/flash";
    smallFlash.tmpfsBytes = 128 * 1024;
    RUN_CHROOTED(
        "/",
        [&] {
          makeDirs(root.at("/flash/var/pdb/base"));  // a device without packages halts
          writeFile(root.at("/flash/var/pdb/base/files"), "");
          if (full) {
            std::FILE* filler = std::fopen(root.at("/flash/filler").c_str(), "w");
            while (filler != nullptr && std::fputc('f', filler) != EOF &&
                   std::fflush(filler) == 0) {
            }
            if (filler != nullptr) std::fclose(filler);
          }
          ProcessOptions options;
          options.input = stream;
          options.timeLimitSeconds = 20;
          const ProcessResult result = root.run({"-"}, options);
          EXPECT_EQ(result.status, 1);
          EXPECT_NE(result.output.find(full ? "ERROR: could not save the package stream: "
                                            : "ERROR: installation of kernel-1.0 failed: disk "
                                              "is too small"),
                    std::string::npos)
              << result.output;
          EXPECT_FALSE(exists(root.at("/flash/var/pdb/image")));
        },
        smallFlash);
  }
}

}  // namespace
