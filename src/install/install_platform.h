// The calls through which installing a package makes device nodes and FIFOs,
// sets owners and times, flushes the file systems and runs a script in a
// child process. The installation code reaches them through installPlatform(),
// which tests can point at a stand-in with ScopedInstallPlatform (to watch the
// calls or to make one of them fail).
#pragma once

#include <sys/types.h>

#include <cstdint>

class InstallPlatform {
public:
  virtual ~InstallPlatform() = default;

  // File system. Each returns 0, or -1 with errno set, like the system call.
  // mknod(path, mode, device): mode holds the file type bits.
  virtual int makeNode(const char* path, mode_t mode, dev_t device) = 0;
  // mkfifo(path, mode).
  virtual int makeFifo(const char* path, mode_t mode) = 0;
  // chown(path, uid, gid): follows a symbolic link.
  virtual int changeOwner(const char* path, uid_t uid, gid_t gid) = 0;
  // lchown(path, uid, gid): a symbolic link itself.
  virtual int changeLinkOwner(const char* path, uid_t uid, gid_t gid) = 0;
  // utime(path) with access and modification time both set to time.
  virtual int setTimes(const char* path, std::uint32_t time) = 0;
  // sync(): schedules every file system's pending writes; cannot fail.
  virtual void syncAll() = 0;

  // Processes.
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
  int makeNode(const char* path, mode_t mode, dev_t device) override;
  int makeFifo(const char* path, mode_t mode) override;
  int changeOwner(const char* path, uid_t uid, gid_t gid) override;
  int changeLinkOwner(const char* path, uid_t uid, gid_t gid) override;
  int setTimes(const char* path, std::uint32_t time) override;
  void syncAll() override;
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
