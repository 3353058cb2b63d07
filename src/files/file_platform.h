// The one door through which the installer changes a file system. Every
// write-class call (create, write, make, link, rename, remove, change owner,
// mode or times, flush) reaches the system through filePlatform(), on
// descriptors: callers resolve a path once (below a confined directory, see
// the confined-path code beside this file) and then act relative to the
// directory they hold, never through a path the kernel resolves afresh.
//
// Every call passes one counting point, FilePlatform::note(), before it is
// made: tests count the calls there and, at the N-th, make the call fail or
// end the process (a fault plan set with ScopedFileFaults).
//
// The device's implementation is deviceFilePlatform(); tests point the
// installer at another one with ScopedFilePlatform (to watch calls, or to make
// one fail) for as long as it lives.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// What a call is, as the counting point sees it.
enum class FileCall : std::uint8_t {
  Open = 0,        // openat: a directory for resolution, or a file to read or write
  Write = 1,       // write
  MakeDir = 2,     // mkdirat
  Remove = 3,      // unlinkat (a file, or a directory with AT_REMOVEDIR)
  Rename = 4,      // renameat
  Link = 5,        // linkat
  Symlink = 6,     // symlinkat
  MakeNode = 7,    // mknodat (device nodes and FIFOs)
  ChangeOwner = 8, // fchown / fchownat
  ChangeMode = 9,  // fchmod / fchmodat
  SetTimes = 10,   // futimens / utimensat
  Truncate = 11,   // ftruncate
  SyncFile = 12,   // fsync
  SyncAll = 13,    // sync
};

class FilePlatform {
public:
  virtual ~FilePlatform() = default;

  // Each call returns what the system call returns (-1 with errno set on
  // failure). dir is a directory descriptor or AT_FDCWD.
  virtual int openAt(int dir, const char* name, int flags, mode_t mode) = 0;
  virtual ssize_t write(int fd, const void* bytes, std::size_t count) = 0;
  virtual int makeDirAt(int dir, const char* name, mode_t mode) = 0;
  // flags: 0 or AT_REMOVEDIR. Never follows a link: removes the link itself.
  virtual int removeAt(int dir, const char* name, int flags) = 0;
  virtual int renameAt(int fromDir, const char* from, int toDir, const char* to) = 0;
  // A hard link; flags 0 (the source itself, never followed).
  virtual int linkAt(int fromDir, const char* from, int toDir, const char* to) = 0;
  virtual int symlinkAt(const char* target, int dir, const char* name) = 0;
  // mode holds the file type bits (S_IFCHR, S_IFBLK, S_IFIFO).
  virtual int makeNodeAt(int dir, const char* name, mode_t mode, dev_t device) = 0;
  virtual int changeOwner(int fd, uid_t uid, gid_t gid) = 0;
  // flags: AT_SYMLINK_NOFOLLOW to change a link itself.
  virtual int changeOwnerAt(int dir, const char* name, uid_t uid, gid_t gid, int flags) = 0;
  virtual int changeMode(int fd, mode_t mode) = 0;
  virtual int changeModeAt(int dir, const char* name, mode_t mode) = 0;
  // Access and modification time both set to time (seconds since 1970, UTC,
  // an unsigned 32-bit value).
  virtual int setTimes(int fd, std::uint32_t time) = 0;
  virtual int setTimesAt(int dir, const char* name, std::uint32_t time, int flags) = 0;
  virtual int truncate(int fd, off_t length) = 0;
  virtual int syncFile(int fd) = 0;
  // Schedules every file system's pending writes; cannot fail.
  virtual void syncAll() = 0;
};

// The device's own calls. Tests derive from it to replace one call and keep
// the others real.
class DeviceFilePlatform : public FilePlatform {
public:
  int openAt(int dir, const char* name, int flags, mode_t mode) override;
  ssize_t write(int fd, const void* bytes, std::size_t count) override;
  int makeDirAt(int dir, const char* name, mode_t mode) override;
  int removeAt(int dir, const char* name, int flags) override;
  int renameAt(int fromDir, const char* from, int toDir, const char* to) override;
  int linkAt(int fromDir, const char* from, int toDir, const char* to) override;
  int symlinkAt(const char* target, int dir, const char* name) override;
  int makeNodeAt(int dir, const char* name, mode_t mode, dev_t device) override;
  int changeOwner(int fd, uid_t uid, gid_t gid) override;
  int changeOwnerAt(int dir, const char* name, uid_t uid, gid_t gid, int flags) override;
  int changeMode(int fd, mode_t mode) override;
  int changeModeAt(int dir, const char* name, mode_t mode) override;
  int setTimes(int fd, std::uint32_t time) override;
  int setTimesAt(int dir, const char* name, std::uint32_t time, int flags) override;
  int truncate(int fd, off_t length) override;
  int syncFile(int fd) override;
  void syncAll() override;
};

// What the installer uses: every call first passes the counting point, then
// goes to the device's platform, or to the one a ScopedFilePlatform set.
FilePlatform& filePlatform();

// Makes the installer use another platform for as long as it lives.
class ScopedFilePlatform {
public:
  explicit ScopedFilePlatform(FilePlatform& replacement);
  ~ScopedFilePlatform();
  ScopedFilePlatform(const ScopedFilePlatform&) = delete;
  ScopedFilePlatform& operator=(const ScopedFilePlatform&) = delete;

private:
  FilePlatform* previous_;
};

// The counting point. Every call of filePlatform() is numbered from 1 in the
// order it is made; a fault plan may answer for the call instead of the
// platform. Proceed: make the call. Fail: the call is not made and returns -1
// with errno set to error. Tear (a write only): the first keep bytes are
// written, then the process is killed, as a cut in the middle of the write
// would leave the file. (A plan may also end the process itself.)
struct FileFault {
  enum Kind : std::uint8_t { Proceed = 0, Fail = 1, Tear = 2 } kind = Proceed;
  int error = 0;
  std::size_t keep = 0;
};

class FileFaultPlan {
public:
  virtual ~FileFaultPlan() = default;
  // Asked before call number n (counted from 1) of kind call is made.
  virtual FileFault before(std::uint64_t n, FileCall call) = 0;
};

// The number of calls made through filePlatform() so far in this process.
std::uint64_t fileCallCount();

// Puts a fault plan in charge of the counting point for as long as it lives.
class ScopedFileFaults {
public:
  explicit ScopedFileFaults(FileFaultPlan& plan);
  ~ScopedFileFaults();
  ScopedFileFaults(const ScopedFileFaults&) = delete;
  ScopedFileFaults& operator=(const ScopedFileFaults&) = delete;

private:
  FileFaultPlan* previous_;
};
