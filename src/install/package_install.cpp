#include "install/package_install.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "files/confined_dir.h"
#include "files/device_root.h"
#include "files/file_platform.h"
#include "install/file_extraction.h"
#include "install/install_platform.h"
#include "install/package_removal.h"
#include "pdb/database_writer.h"
#include "pdb/file_output.h"
#include "pdb/install_messages.h"
#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"

namespace {

constexpr std::uint32_t imageStep = 4096;
constexpr int shellNotStarted = 127;

void ignoreSignal(int) {}

// The child's end of runScript: never returns.
[[noreturn]] void runInFlashRoot(const char* command) {
  InstallPlatform& platform = installPlatform();
  // Outside /flash the script would act on the device's real root. Below a
  // scoped device root, its "flash" is found from that root.
  const DevicePlace flash = devicePlace(flashDir);
  if ((flash.dir != AT_FDCWD && ::fchdir(flash.dir) != 0) || platform.changeRoot(flash.name) != 0 ||
      ::chdir("/") != 0)
    ::_exit(shellNotStarted);
  platform.runShell(command);
  ::_exit(shellNotStarted);
}

// Passes over the image payload, showing progress before each step.
void passOverImage(Console& console, const InstalledPackage& package, PartStream& stream) {
  for (std::uint32_t left = stream.partLength(); left > 0 && stream;) {
    showInstalling(console, package, stream);
    const std::uint32_t step = std::min(left, imageStep);
    stream.seekg(std::streamoff(step), std::ios_base::cur);
    left -= step;
  }
}

bool takeScript(Console& console, const InstalledPackage& package, PartStream& stream,
                const char* scriptName) {
  return writeScript(console, package, stream, stream.partLength(), scriptName);
}

// The scripts, the file tree, the verification and the record; false after a
// reported failure.
bool installParts(Console& console, InstalledPackage& package, PartStream& stream,
                  RunFlags runFlags) {
  if (stream.currentType() == partInstallScript) {
    // An image package never runs an install script of its own.
    if (!package.isImage && !takeScript(console, package, stream, "oninstall")) return false;
    stream.next();
  }
  if (stream.currentType() == partUninstallScript) {
    if (!takeScript(console, package, stream, "onuninstall")) return false;
    stream.next();
  }
  if (stream.currentType() == partFileTree) {
    const bool treeInPlace = (runFlags & bootImageInPlace) && (package.flags & bootImage);
    if (!treeInPlace && !extractFiles(console, package, stream)) return false;
    stream.next();
  }
  if (!acceptPackage(stream)) {
    reportBrokenPackage(console, package);
    return false;
  }
  return stream.isAlternateMagic() || writePackageRecord(console, package);
}

// The package's entry directory; a failure is reported as the entry's.
bool makeEntry(Console& console, const InstalledPackage& package) {
  if (createPackageDir(package)) return true;
  reportCreateFailure(console, package, "meta");
  return false;
}

}  // namespace

bool installPackage(Console& console, InstalledPackage& package, PartStream& stream,
                    RunFlags runFlags) {
  showInstalling(console, package, stream);
  // A package with the alternate magic has no entry of its own: the entry of
  // its name, if any, is the installed release's.
  const bool ownEntry = !stream.isAlternateMagic();
  if (ownEntry && !makeEntry(console, package)) return false;
  if (stream.currentType() == partImage) {
    passOverImage(console, package, stream);
    stream.next();
  }
  if (!installParts(console, package, stream, runFlags)) {
    // Only what this installation made goes.
    removeFiles(console, package);
    if (ownEntry) removePackageDir(package);
    return false;
  }
  if (package.flags & bootImage) {
    const ConfinedDir flash(flashDir);
    writeWholeFile(flash.place().fd, "UPGRADED", "");
  }
  filePlatform().syncAll();
  if (!package.disabled) runScript(console, package, "oninstall");
  reportInstalled(console, package);
  return true;
}

bool registerPackage(Console& console, InstalledPackage& package) {
  if (!makeEntry(console, package)) return false;
  if (!writePackageRecord(console, package)) {
    removePackage(console, package);
    return false;
  }
  return true;
}

bool runScript(Console& console, const InstalledPackage& package, const char* scriptName) {
  const std::string script = "/var/pdb/" + package.name + "/" + scriptName;
  struct stat info;
  const std::string path = "/flash" + script;
  const DevicePlace at = devicePlace(path.c_str());
  if (::fstatat(at.dir, at.name, &info, 0) != 0) return true;  // nothing to run
  const std::string command = script + " >/dev/null 2>&1";

  struct sigaction action {};
  action.sa_handler = ignoreSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  ::sigaction(SIGCHLD, &action, nullptr);

  InstallPlatform& platform = installPlatform();
  const pid_t child = platform.forkChild();
  if (child == 0) runInFlashRoot(command.c_str());
  if (child > 0) {
    int status = 0;
    pid_t waited;
    while ((waited = platform.waitChild(child, &status)) < 0 && errno == EINTR) {
    }
    if (waited == child && status == 0) return true;
  }
  console.warning("package %s %s script failed", nameVersionText(package).c_str(), scriptName);
  return false;
}
