#include "files/file_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

FilePlatform* replacement = nullptr;
FileFaultPlan* faults = nullptr;
std::uint64_t calls = 0;

timespec atSecond(std::uint32_t time) {
  return timespec{static_cast<time_t>(time), 0};
}

FilePlatform& active() {
  static DeviceFilePlatform device;
  return replacement != nullptr ? *replacement : device;
}

// The counting point: numbers the call, and lets a fault plan answer for it.
// False when the call must not be made (errno is then set).
bool pass(FileCall call, FileFault* seen = nullptr) {
  ++calls;
  if (faults == nullptr) return true;
  const FileFault fault = faults->before(calls, call);
  if (seen != nullptr) *seen = fault;
  if (fault.kind == FileFault::Fail) {
    errno = fault.error;
    return false;
  }
  return true;
}

// A torn write: a prefix of the bytes reaches the file, then the process dies.
[[noreturn]] void tear(int fd, const void* bytes, std::size_t count, std::size_t keep) {
  (void)active().write(fd, bytes, keep < count ? keep : count);
  ::kill(::getpid(), SIGKILL);
  ::_exit(137);
}

// What filePlatform() hands out: each call passes the counting point, then
// goes to the active platform.
class CountedPlatform final : public FilePlatform {
public:
  int openAt(int dir, const char* name, int flags, mode_t mode) override {
    return pass(FileCall::Open) ? active().openAt(dir, name, flags, mode) : -1;
  }
  ssize_t write(int fd, const void* bytes, std::size_t count) override {
    FileFault fault;
    if (!pass(FileCall::Write, &fault)) return -1;
    if (fault.kind == FileFault::Tear) tear(fd, bytes, count, fault.keep);
    return active().write(fd, bytes, count);
  }
  int makeDirAt(int dir, const char* name, mode_t mode) override {
    return pass(FileCall::MakeDir) ? active().makeDirAt(dir, name, mode) : -1;
  }
  int removeAt(int dir, const char* name, int flags) override {
    return pass(FileCall::Remove) ? active().removeAt(dir, name, flags) : -1;
  }
  int renameAt(int fromDir, const char* from, int toDir, const char* to) override {
    return pass(FileCall::Rename) ? active().renameAt(fromDir, from, toDir, to) : -1;
  }
  int linkAt(int fromDir, const char* from, int toDir, const char* to) override {
    return pass(FileCall::Link) ? active().linkAt(fromDir, from, toDir, to) : -1;
  }
  int symlinkAt(const char* target, int dir, const char* name) override {
    return pass(FileCall::Symlink) ? active().symlinkAt(target, dir, name) : -1;
  }
  int makeNodeAt(int dir, const char* name, mode_t mode, dev_t device) override {
    return pass(FileCall::MakeNode) ? active().makeNodeAt(dir, name, mode, device) : -1;
  }
  int changeOwner(int fd, uid_t uid, gid_t gid) override {
    return pass(FileCall::ChangeOwner) ? active().changeOwner(fd, uid, gid) : -1;
  }
  int changeOwnerAt(int dir, const char* name, uid_t uid, gid_t gid, int flags) override {
    return pass(FileCall::ChangeOwner) ? active().changeOwnerAt(dir, name, uid, gid, flags) : -1;
  }
  int changeMode(int fd, mode_t mode) override {
    return pass(FileCall::ChangeMode) ? active().changeMode(fd, mode) : -1;
  }
  int changeModeAt(int dir, const char* name, mode_t mode) override {
    return pass(FileCall::ChangeMode) ? active().changeModeAt(dir, name, mode) : -1;
  }
  int setTimes(int fd, std::uint32_t time) override {
    return pass(FileCall::SetTimes) ? active().setTimes(fd, time) : -1;
  }
  int setTimesAt(int dir, const char* name, std::uint32_t time, int flags) override {
    return pass(FileCall::SetTimes) ? active().setTimesAt(dir, name, time, flags) : -1;
  }
  int truncate(int fd, off_t length) override {
    return pass(FileCall::Truncate) ? active().truncate(fd, length) : -1;
  }
  int syncFile(int fd) override {
    return pass(FileCall::SyncFile) ? active().syncFile(fd) : -1;
  }
  void syncAll() override {
    if (pass(FileCall::SyncAll)) active().syncAll();
  }
};

}  // namespace

int DeviceFilePlatform::openAt(int dir, const char* name, int flags, mode_t mode) {
  return ::openat(dir, name, flags | O_CLOEXEC, mode);
}

ssize_t DeviceFilePlatform::write(int fd, const void* bytes, std::size_t count) {
  return ::write(fd, bytes, count);
}

int DeviceFilePlatform::makeDirAt(int dir, const char* name, mode_t mode) {
  return ::mkdirat(dir, name, mode);
}

int DeviceFilePlatform::removeAt(int dir, const char* name, int flags) {
  return ::unlinkat(dir, name, flags);
}

int DeviceFilePlatform::renameAt(int fromDir, const char* from, int toDir, const char* to) {
  return ::renameat(fromDir, from, toDir, to);
}

int DeviceFilePlatform::linkAt(int fromDir, const char* from, int toDir, const char* to) {
  return ::linkat(fromDir, from, toDir, to, 0);
}

int DeviceFilePlatform::symlinkAt(const char* target, int dir, const char* name) {
  return ::symlinkat(target, dir, name);
}

int DeviceFilePlatform::makeNodeAt(int dir, const char* name, mode_t mode, dev_t device) {
  return ::mknodat(dir, name, mode, device);
}

int DeviceFilePlatform::changeOwner(int fd, uid_t uid, gid_t gid) {
  return ::fchown(fd, uid, gid);
}

int DeviceFilePlatform::changeOwnerAt(int dir, const char* name, uid_t uid, gid_t gid,
                                      int flags) {
  return ::fchownat(dir, name, uid, gid, flags);
}

int DeviceFilePlatform::changeMode(int fd, mode_t mode) { return ::fchmod(fd, mode); }

int DeviceFilePlatform::changeModeAt(int dir, const char* name, mode_t mode) {
  return ::fchmodat(dir, name, mode, 0);
}

int DeviceFilePlatform::setTimes(int fd, std::uint32_t time) {
  const timespec times[2] = {atSecond(time), atSecond(time)};
  return ::futimens(fd, times);
}

int DeviceFilePlatform::setTimesAt(int dir, const char* name, std::uint32_t time, int flags) {
  const timespec times[2] = {atSecond(time), atSecond(time)};
  return ::utimensat(dir, name, times, flags);
}

int DeviceFilePlatform::truncate(int fd, off_t length) { return ::ftruncate(fd, length); }

int DeviceFilePlatform::syncFile(int fd) { return ::fsync(fd); }

void DeviceFilePlatform::syncAll() { ::sync(); }

FilePlatform& filePlatform() {
  static CountedPlatform counted;
  return counted;
}

ScopedFilePlatform::ScopedFilePlatform(FilePlatform& platform) : previous_(replacement) {
  replacement = &platform;
}

ScopedFilePlatform::~ScopedFilePlatform() { replacement = previous_; }

std::uint64_t fileCallCount() { return calls; }

ScopedFileFaults::ScopedFileFaults(FileFaultPlan& plan) : previous_(faults) { faults = &plan; }

ScopedFileFaults::~ScopedFileFaults() { faults = previous_; }
