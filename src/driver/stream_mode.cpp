#include "driver/stream_mode.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/file_platform.h"
#include "files/own_file.h"
#include "files/write_all.h"
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

enum class CopyResult { Copied, ReadFailed, WriteFailed };

// Copies standard input to fd in bounded chunks. After a failure errno tells
// why.
CopyResult copyInput(int fd) {
  char chunk[16 * 1024];
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return CopyResult::ReadFailed;
    if (got == 0) return CopyResult::Copied;
    if (writeAll(fd, chunk, static_cast<std::size_t>(got)) != WriteResult::Written)
      return CopyResult::WriteFailed;
  }
}

// Reads the first header of the copy into package; false when there is no
// readable file header, or the first part the installation would read is not
// a readable header part.
bool readFirstHeader(const PackageFile& copy, InstalledPackage& package) {
  RegularFileStream input(copy.descriptor);
  PartStream stream(input, false);
  wantInstalledParts(stream);
  stream.next();
  return readHeaderParts(package, stream) == ReadResult::Read;
}

bool copyPasses(PackageFile& copy) {
  RegularFileStream input(copy.descriptor);
  PartStream stream(input, true);
  return checkPackageFile(stream, configuredTrust(), {}, &copy.bound) == PackageVerdict::Accepted &&
         loadPackageFile(copy, imagePath) == ReadResult::Read;
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

// Reports a copy that could not be made whole: as the package's failed
// installation when its header can be read from the part copied.
void reportCopyFailure(Console& console, const PackageFile& copy, CopyResult result, int error) {
  InstalledPackage first;
  if (result == CopyResult::WriteFailed && readFirstHeader(copy, first)) {
    errno = error;
    reportCreateFailure(console, first, imagePath);
    return;
  }
  const std::string line = std::string("ERROR: could not ") +
                           (result == CopyResult::ReadFailed ? "read" : "save") +
                           " the package stream: " + std::strerror(error) + "\n";
  printDirect(line.c_str());
}

// Clears the way for the new image at image, which a reinstalled release still
// holds, and links the copy as the boot image when asked: the boot image that
// was the old image goes with it.
void replaceImage(const std::string& image, bool withBootImage) {
  struct stat old, boot;
  if (statOwnFile(image, old) && statOwnFile("/flash/bootimage", boot) &&
      old.st_dev == boot.st_dev && old.st_ino == boot.st_ino)
    removeOwnFile("/flash/bootimage");
  removeOwnFile(image);
  if (withBootImage) (void)linkOwnFile(imagePath, "/flash/bootimage");
}

}  // namespace

StreamOutcome runStreamMode(Console& console, FlashEffects& effects, RunFlags runFlags) {
  StreamOutcome outcome;
  // The copy is written, checked and installed through this one descriptor.
  PackageFile copy;
  copy.descriptor = openOwnFile(imagePath, OwnOpen::Truncate, 0644);
  if (copy.descriptor < 0) {
    printDirect("ERROR: could not open image\n");
    outcome.image = StreamImage::NotOpened;
    return outcome;
  }
  CopyResult copied = copyInput(copy.descriptor);
  int error = errno;
  // A full disk may show only when the copy is made durable.
  if (copied == CopyResult::Copied && filePlatform().syncFile(copy.descriptor) != 0) {
    copied = CopyResult::WriteFailed;
    error = errno;
  }
  std::string imageDir;
  bool withBootImage = false;
  if (copied != CopyResult::Copied) {
    reportCopyFailure(console, copy, copied, error);
  } else if (checkCopy(console, copy)) {
    outcome.install = installFromStream(console, effects, copy, runFlags, UserStates(),
                                        &imageDir, &withBootImage);
  }
  if (outcome.install == InstallOutcome::Installed && !imageDir.empty()) {
    replaceImage(imageDir + "image", withBootImage);
    if (linkOwnFile(imagePath, imageDir + "image") != OwnPlacement::Placed) {
      printDirect("ERROR: could not save package image\n");
      outcome.image = StreamImage::NotSaved;
    }
  }
  // The copy only stays as the image of an installed image package.
  removeOwnFile(imagePath);
  return outcome;
}
