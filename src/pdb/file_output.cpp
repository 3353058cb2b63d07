#include "pdb/file_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

FileOutput::FileOutput(const std::string& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) error_ = errno;
}

FileOutput::~FileOutput() {
  if (fd_ >= 0) ::close(fd_);
}

void FileOutput::write(const char* bytes, std::size_t length) {
  while (error_ == 0 && length > 0) {
    const ssize_t written = ::write(fd_, bytes, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
    } else if (written == 0) {
      error_ = EIO;
    } else {
      bytes += written;
      length -= static_cast<std::size_t>(written);
    }
  }
}

bool FileOutput::finish() {
  if (fd_ >= 0) {
    if (::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
  }
  if (error_ == 0) return true;
  errno = error_;
  return false;
}

bool writeWholeFile(const std::string& path, const std::string& content) {
  FileOutput out(path);
  out.write(content);
  return out.finish();
}
