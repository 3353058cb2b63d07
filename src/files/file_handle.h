// An open descriptor owned by one object: closed when the object goes or
// takes another one.
#pragma once

#include <unistd.h>

#include <utility>

class FileHandle {
public:
  FileHandle() = default;
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() { reset(); }
  FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.fd_, -1));
    return *this;
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // The descriptor, or -1 when there is none.
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the descriptor held, returning what close() returns (0 when none
  // is held).
  int close() { return fd_ < 0 ? 0 : ::close(std::exchange(fd_, -1)); }
  // Closes the descriptor held (errors ignored: nothing was written through
  // a descriptor closed here that is not checked by its writer) and holds fd.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

private:
  int fd_ = -1;
};
