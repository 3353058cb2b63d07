// The directory that stands for "/" to the installer's device paths
// ("/flash/...", "/ram/...", "/rw/...").
//
// On the device it is the process's own root: an absolute path goes to the
// system as it is, relative to no descriptor, at no cost. A ScopedDeviceRoot
// puts an open directory in its place for as long as it lives: every absolute
// path the file layer and the readers look up is then resolved below that
// directory (tests run the installer's code on a scratch directory so,
// without changing the process's root). The confined walk below "/flash" is
// the same either way: an absolute link target names this root.
#pragma once

#include <dirent.h>
#include <sys/stat.h>

#include <string>

#include "files/file_handle.h"

// Where a path is looked up: name relative to dir (a directory descriptor or
// AT_FDCWD).
struct DevicePlace {
  int dir;
  const char* name;
};

// path itself relative to AT_FDCWD, but an absolute path below a scoped root:
// that root's descriptor and path without its leading '/'s ("." for the root
// itself). name points into path.
DevicePlace devicePlace(const char* path);

// Opens path (see devicePlace) with flags, as openat opens it. Below a scoped
// root every link on the way is followed as it would be with that root as the
// process's own: an absolute target starts at that root, ".." stops there.
// -1 (errno set) when it cannot be opened.
int openDevicePath(const char* path, int flags);

// The status of what path (see devicePlace) names, links followed as
// openDevicePath follows them, without opening it; false (errno set) when
// there is nothing there.
bool statDevicePath(const char* path, struct stat& status);

// The directory at path (see devicePlace) opened for listing, as opendir
// opens it; nullptr (errno set) when it cannot be.
DIR* openDeviceDir(const char* path);

// Makes dir (opened now, as the system follows it) the device root for as long
// as it lives; the root before it comes back after.
class ScopedDeviceRoot {
 public:
  explicit ScopedDeviceRoot(const std::string& dir);
  ~ScopedDeviceRoot();
  ScopedDeviceRoot(const ScopedDeviceRoot&) = delete;
  ScopedDeviceRoot& operator=(const ScopedDeviceRoot&) = delete;

  // False (errno set) when dir could not be opened: absolute paths then fail.
  bool opened() const { return root_.valid(); }

 private:
  FileHandle root_;
  int previous_;
};
