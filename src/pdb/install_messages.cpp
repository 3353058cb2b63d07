#include "pdb/install_messages.h"

#include <cerrno>
#include <cstring>

std::string installLabel(const InstalledPackage& package) {
  if (!package.bundle.name.empty()) return dependencyText(package.bundle);
  return nameVersionText(package);
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
