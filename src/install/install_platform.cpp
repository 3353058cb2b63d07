#include "install/install_platform.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace {

constexpr char shellPath[] = "/bin/bash";

InstallPlatform* activePlatform = nullptr;

}  // namespace

int DeviceInstallPlatform::makeNode(const char* path, mode_t mode, dev_t device) {
  return ::mknod(path, mode, device);
}

int DeviceInstallPlatform::makeFifo(const char* path, mode_t mode) { return ::mkfifo(path, mode); }

int DeviceInstallPlatform::changeOwner(const char* path, uid_t uid, gid_t gid) {
  return ::chown(path, uid, gid);
}

int DeviceInstallPlatform::changeLinkOwner(const char* path, uid_t uid, gid_t gid) {
  return ::lchown(path, uid, gid);
}

int DeviceInstallPlatform::setTimes(const char* path, std::uint32_t time) {
  const utimbuf times{static_cast<time_t>(time), static_cast<time_t>(time)};
  return ::utime(path, &times);
}

void DeviceInstallPlatform::syncAll() { ::sync(); }

pid_t DeviceInstallPlatform::forkChild() { return ::fork(); }

int DeviceInstallPlatform::changeRoot(const char* path) { return ::chroot(path); }

void DeviceInstallPlatform::runShell(const char* command) {
  ::execl(shellPath, "bash", "-c", command, static_cast<char*>(nullptr));
}

pid_t DeviceInstallPlatform::waitChild(pid_t child, int* status) {
  return ::waitpid(child, status, 0);
}

InstallPlatform& installPlatform() {
  static DeviceInstallPlatform device;
  return activePlatform ? *activePlatform : device;
}

ScopedInstallPlatform::ScopedInstallPlatform(InstallPlatform& replacement)
    : previous_(activePlatform) {
  activePlatform = &replacement;
}

ScopedInstallPlatform::~ScopedInstallPlatform() { activePlatform = previous_; }
