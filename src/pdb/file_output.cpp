#include "pdb/file_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "files/device_root.h"
#include "files/file_platform.h"
#include "files/write_all.h"

namespace {

constexpr int createFlags = O_WRONLY | O_CREAT | O_TRUNC;

}  // namespace

FileOutput::FileOutput(const std::string& path) {
  const DevicePlace at = devicePlace(path.c_str());
  fd_ = filePlatform().openAt(at.dir, at.name, createFlags, 0666);
  if (fd_ < 0) error_ = errno;
}

FileOutput::FileOutput(int dir, const char* name) {
  if (dir < 0) {  // the directory could not be opened: errno says why
    error_ = errno != 0 ? errno : EBADF;
    return;
  }
  fd_ = filePlatform().openAt(dir, name, createFlags | O_NOFOLLOW, 0666);
  if (fd_ < 0 && errno == ELOOP && filePlatform().removeAt(dir, name, 0) == 0)
    fd_ = filePlatform().openAt(dir, name, createFlags | O_NOFOLLOW | O_EXCL, 0666);
  if (fd_ < 0) error_ = errno;
}

FileOutput::~FileOutput() {
  if (fd_ >= 0) ::close(fd_);
}

void FileOutput::write(const char* bytes, std::size_t length) {
  if (error_ == 0 && writeAll(fd_, bytes, length) != WriteResult::Written) error_ = errno;
}

void FileOutput::changeMode(mode_t mode) {
  if (error_ == 0 && filePlatform().changeMode(fd_, mode) != 0) error_ = errno;
}

WriteResult FileOutput::finish() {
  if (fd_ >= 0) {
    if (::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
  }
  if (error_ == 0) return WriteResult::Written;
  errno = error_;
  return WriteResult::NotWritten;
}

WriteResult writeWholeFile(const std::string& path, const std::string& content) {
  FileOutput out(path);
  out.write(content);
  return out.finish();
}

WriteResult writeWholeFile(int dir, const char* name, const std::string& content) {
  FileOutput out(dir, name);
  out.write(content);
  return out.finish();
}
