#include "pkgfile/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/device_root.h"

int openRegularFile(const std::string& path) {
  struct stat status;
  // Looking first keeps device nodes closed: opening one can act on the device.
  if (!statDevicePath(path.c_str(), status)) return -1;
  if (!S_ISREG(status.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  const int fd = openDevicePath(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  // The name may have been given to something else in between: what was
  // opened decides.
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

namespace {
const std::streambuf::pos_type badPosition(std::streambuf::off_type(-1));
}  // namespace

RegularFileBuffer::RegularFileBuffer(const std::string& path)
    : fd_(openRegularFile(path)), owned_(true) {
  setg(buffer_, buffer_, buffer_);
}

RegularFileBuffer::RegularFileBuffer(int fd) : fd_(fd), owned_(false) {
  setg(buffer_, buffer_, buffer_);
  if (fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) != 0) failed_ = true;
}

RegularFileBuffer::~RegularFileBuffer() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

std::streamsize RegularFileBuffer::readFile(char* out, std::streamsize count) {
  if (fd_ < 0 || failed_) return 0;
  for (;;) {
    const ssize_t got = ::read(fd_, out, std::size_t(count));
    if (got >= 0) {
      bufferEnd_ += got;
      return got;
    }
    if (errno != EINTR) {
      failed_ = true;
      return 0;
    }
  }
}

RegularFileBuffer::int_type RegularFileBuffer::underflow() {
  if (gptr() == egptr()) {
    const std::streamsize got = readFile(buffer_, sizeof buffer_);
    setg(buffer_, buffer_, buffer_ + got);
    if (got == 0) return traits_type::eof();
  }
  return traits_type::to_int_type(*gptr());
}

std::streamsize RegularFileBuffer::xsgetn(char_type* out, std::streamsize count) {
  std::streamsize done = 0;
  while (done < count) {
    if (gptr() == egptr() && count - done >= std::streamsize(sizeof buffer_)) {
      // Large reads go straight to the file.
      setg(buffer_, buffer_, buffer_);
      const std::streamsize got = readFile(out + done, count - done);
      if (got == 0) break;
      done += got;
      continue;
    }
    if (traits_type::eq_int_type(underflow(), traits_type::eof())) break;
    const std::streamsize take = std::min<std::streamsize>(egptr() - gptr(), count - done);
    std::memcpy(out + done, gptr(), std::size_t(take));
    gbump(int(take));
    done += take;
  }
  return done;
}

RegularFileBuffer::pos_type RegularFileBuffer::seekoff(off_type offset,
                                                       std::ios_base::seekdir direction,
                                                       std::ios_base::openmode mode) {
  if (fd_ < 0) return badPosition;
  off_type base = 0;
  if (direction == std::ios_base::cur) {
    base = off_type(bufferEnd_) - (egptr() - gptr());
  } else if (direction == std::ios_base::end) {
    struct stat status;
    if (::fstat(fd_, &status) != 0) return badPosition;
    base = off_type(status.st_size);
  }
  return seekpos(pos_type(base + offset), mode);
}

RegularFileBuffer::pos_type RegularFileBuffer::seekpos(pos_type position,
                                                       std::ios_base::openmode mode) {
  const off_type target = off_type(position);
  if (fd_ < 0 || !(mode & std::ios_base::in) || target < 0) return badPosition;
  // Within what is buffered, only the get position moves.
  const off_type bufferStart = off_type(bufferEnd_) - (egptr() - eback());
  if (target >= bufferStart && target <= off_type(bufferEnd_)) {
    setg(eback(), eback() + (target - bufferStart), egptr());
    return position;
  }
  if (::lseek(fd_, off_t(target), SEEK_SET) < 0) return badPosition;
  bufferEnd_ = off_t(target);
  setg(buffer_, buffer_, buffer_);
  return position;
}

RegularFileStream::RegularFileStream(const std::string& path)
    : std::istream(nullptr), buffer_(path) {
  rdbuf(&buffer_);
  if (!buffer_.isOpen()) setstate(std::ios_base::failbit);
}

RegularFileStream::RegularFileStream(int fd) : std::istream(nullptr), buffer_(fd) {
  rdbuf(&buffer_);
  if (!buffer_.isOpen()) setstate(std::ios_base::failbit);
}
