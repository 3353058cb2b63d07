#include "pdb/install_messages.h"

#include <cerrno>
#include <cstring>

#include "pkgfile/part_stream.h"

std::string installLabel(const InstalledPackage& package) {
  if (!package.bundle.name.empty()) return dependencyText(package.bundle);
  return nameVersionText(package);
}

void showInstalling(Console& console, const InstalledPackage& package, PartStream& stream) {
  std::string text = "installing ";
  if (package.disabled && package.bundle.name.empty()) text += " (disabled) ";
  text += installLabel(package);
  // tellg() is -1 on a failed stream; the part's start is then the best answer.
  const std::streamoff inPart = stream.tellg();
  const std::uint32_t position =
      stream.partOffset() + (inPart > 0 ? static_cast<std::uint32_t>(inPart) : 0u);
  console.showProgress(text, position, stream.totalLength());
}

void reportCreateFailure(Console& console, const InstalledPackage& package, const char* what) {
  const int error = errno;  // before anything below can change it
  const std::string label = installLabel(package);
  if (error == ENOSPC) {
    console.error("installation of %s failed: disk is too small", label.c_str());
  } else if (error == EIO) {
    console.error("installation of %s failed: disk error", label.c_str());
  } else {
    console.error("installation of %s failed: could not create %s: %s", label.c_str(),
                  what ? what : "", std::strerror(error));
  }
}

void reportBrokenPackage(Console& console, const InstalledPackage& package) {
  console.error("installation of %s failed: broken package", installLabel(package).c_str());
}

void reportInstalled(Console& console, const InstalledPackage& package) {
  if (!package.bundle.name.empty()) return;
  console.info("installed %s%s", package.disabled ? "(disabled) " : "",
               nameVersionText(package).c_str());
}
