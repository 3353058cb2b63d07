#include "driver/installer_run.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <unistd.h>
#include <fcntl.h>

#include "driver/command_line.h"
#include "console/console.h"
#include "driver/listing.h"
#include "driver/root_change.h"
#include "upgrade/postlog.h"
#include "upgrade/upgrade_run.h"
#include "pdb/database_loader.h"
#include "plan/transaction.h"

namespace {

constexpr char imagePath[] = "/flash/var/pdb//image";

void printDirect(const char* line) {
  std::fputs(line, stdout);
  std::fflush(stdout);
}

enum class StreamResult { Done, CouldNotOpenImage };

// Installs the package stream on standard input while saving a copy of it,
// byte for byte, as the package's image.
StreamResult runStreamMode(RunFlags runFlags, int& status) {
  std::filebuf image;
  if (!image.open(imagePath, std::ios::out | std::ios::trunc | std::ios::binary)) {
    printDirect("ERROR: could not open image\n");
    return StreamResult::CouldNotOpenImage;
  }
  std::string imageDir;
  bool withBootImage = false;
  status = installFromStream(std::cin, runFlags | allowUpgrade, UserStates(), &image, &imageDir,
                             &withBootImage);
  image.close();
  if (status == 0 && !imageDir.empty()) {
    if (withBootImage) link(imagePath, "/flash/bootimage");
    if (link(imagePath, (imageDir + "image").c_str()) != 0) {
      printDirect("ERROR: could not save package image\n");
      status = -1;
    }
  }
  // The copy only stays as the image of an image package; the stream of an
  // ordinary package, or of a failed installation, leaves nothing behind.
  unlink(imagePath);
  return StreamResult::Done;
}

void touchChangedMarker() {
  const int fd = open("/flash/PCKGS_CHANGED", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd >= 0) close(fd);
}

}  // namespace

int runInstaller(int argc, const char* const* argv) {
  Console& console = Console::instance();
  Options options;
  if (parseOptions(argc, argv, options, stdout) == ParseResult::Usage) return 0;
  // A sandbox run whose root cannot be entered (a mistyped root, or no right
  // to change it) must not read or change the device it runs on.
  if (!enterRoot(options.root)) return 1;
  const char* archVariable = std::getenv("arch");
  const std::string arch = archVariable ? archVariable : "i386";
  loadDatabase(console, options.quiet, arch);

  if (options.show) {
    printListing(console, std::cout);
    return 0;
  }
  if (options.cleanup) {
    cleanup();
    return 0;
  }

  bool changed = applyScheduledActions(console, 1);
  int status = 0;
  if (options.streamMode && runStreamMode(options.runFlags, status) == StreamResult::CouldNotOpenImage)
    return -1;
  const RunFlags runFlags = options.runFlags | allowUpgrade;
  if (runUpgrade(console, runFlags)) changed = true;
  if (changed) touchChangedMarker();
  if (runFlags & reinstall) printDirect("\n");
  writePostlog(console);
  return status;
}
