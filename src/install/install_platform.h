// The calls through which installing a package runs a script in a child
// process (its files go through the file layer, files/file_platform.h). The
// installation code reaches them through installPlatform(),
// which tests can point at a stand-in with ScopedInstallPlatform (to watch the
// calls or to make one of them fail).
#pragma once

#include <sys/types.h>

class InstallPlatform {
public:
  virtual ~InstallPlatform() = default;

  // fork(): the child's id in the parent, 0 in the child, -1 with errno set
  // when no child could be made.
  virtual pid_t forkChild() = 0;
  // chroot(path): 0, or -1 with errno set; the working directory stays.
  virtual int changeRoot(const char* path) = 0;
  // execl("/bin/bash", "bash", "-c", command): returns (with errno set) only
  // when bash could not be started.
  virtual void runShell(const char* command) = 0;
  // waitpid(child, status, 0): the child's id, or -1 with errno set (EINTR
  // when a signal came first).
  virtual pid_t waitChild(pid_t child, int* status) = 0;
};

// The device's own calls. Tests derive from it to replace one call and keep
// the others real.
class DeviceInstallPlatform : public InstallPlatform {
public:
  pid_t forkChild() override;
  int changeRoot(const char* path) override;
  void runShell(const char* command) override;
  pid_t waitChild(pid_t child, int* status) override;
};

// The calls the installation code uses: the device's own unless a
// ScopedInstallPlatform is active.
InstallPlatform& installPlatform();

// Makes the installation code use another platform layer for as long as it
// lives.
class ScopedInstallPlatform {
public:
  explicit ScopedInstallPlatform(InstallPlatform& replacement);
  ~ScopedInstallPlatform();
  ScopedInstallPlatform(const ScopedInstallPlatform&) = delete;
  ScopedInstallPlatform& operator=(const ScopedInstallPlatform&) = delete;

private:
  InstallPlatform* previous_;
};
