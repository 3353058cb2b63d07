#include "driver/stream_mode.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "pdb/install_messages.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/regular_file.h"
#include "plan/transaction.h"

namespace {

constexpr char imagePath[] = "/flash/var/pdb//image";

void printDirect(const char* line) {
  std::fputs(line, stdout);
  std::fflush(stdout);
}

// Copies standard input to fd in bounded chunks; false when a write fails.
bool copyInput(int fd) {
  char chunk[16 * 1024];
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    for (ssize_t done = 0; done < got;) {
      const ssize_t written = ::write(fd, chunk + done, static_cast<std::size_t>(got - done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      done += written;
    }
  }
}

// Reads the first header of the copy into package; false when there is no
// readable file header or first header part.
bool readFirstHeader(const PackageFile& copy, InstalledPackage& package) {
  RegularFileStream input(copy.descriptor);
  PartStream stream(input, false);
  stream.wanted = {partPackage, partBundle};
  stream.next();
  return readHeaderParts(package, stream);
}

bool copyPasses(PackageFile& copy) {
  RegularFileStream input(copy.descriptor);
  PartStream stream(input, true);
  return checkPackageFile(stream, configuredTrust(), {}, &copy.bound) &&
         loadPackageFile(copy, imagePath);
}

// The check before anything is written: a stream that is not wholly authentic
// changes no file. Reports a broken stream whose header could be read.
bool checkCopy(Console& console, PackageFile& copy) {
  InstalledPackage first;
  if (!readFirstHeader(copy, first)) return false;
  if (copyPasses(copy)) return true;
  reportBrokenPackage(console, first);
  return false;
}

}  // namespace

StreamResult runStreamMode(Console& console, RunFlags runFlags, int& status) {
  // The copy is written, checked and installed through this one descriptor.
  PackageFile copy;
  copy.descriptor = ::open(imagePath, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (copy.descriptor < 0) {
    printDirect("ERROR: could not open image\n");
    return StreamResult::CouldNotOpenImage;
  }
  const bool copied = copyInput(copy.descriptor);
  status = 1;
  std::string imageDir;
  bool withBootImage = false;
  if (copied && checkCopy(console, copy))
    status = installFromStream(console, copy, runFlags, UserStates(), &imageDir, &withBootImage);
  if (status == 0 && !imageDir.empty()) {
    if (withBootImage) ::link(imagePath, "/flash/bootimage");
    if (::link(imagePath, (imageDir + "image").c_str()) != 0) {
      printDirect("ERROR: could not save package image\n");
      status = -1;
    }
  }
  // The copy only stays as the image of an installed image package.
  ::unlink(imagePath);
  return StreamResult::Done;
}
