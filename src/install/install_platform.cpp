#include "install/install_platform.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char shellPath[] = "/bin/bash";

InstallPlatform* activePlatform = nullptr;

}  // namespace

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
