// Opening the files the installer reads, which the running system or a package
// maker may have replaced by something else: a named pipe would block the
// opener until a writer came, and a directory or a device cannot be read as a
// file. Only regular files are opened, and never by blocking.
#pragma once

#include <istream>
#include <streambuf>
#include <string>

// Opens path (an absolute one below the device root) for reading when it is a
// regular file: a device node is not
// opened at all, a named pipe does not wait for a writer. The descriptor is
// close-on-exec and blocking again. -1 with errno set when path cannot be
// opened (open's error) or is anything but a regular file (EINVAL).
int openRegularFile(const std::string& path);

// A read-only stream buffer over a file that openRegularFile opened. A read
// that fails ends the data for good, as the end of the file does; nothing
// throws.
class RegularFileBuffer final : public std::streambuf {
public:
  explicit RegularFileBuffer(const std::string& path);
  // Reads the open file fd from its start; fd stays the caller's, open.
  explicit RegularFileBuffer(int fd);
  ~RegularFileBuffer() override;
  RegularFileBuffer(const RegularFileBuffer&) = delete;
  RegularFileBuffer& operator=(const RegularFileBuffer&) = delete;

  bool isOpen() const { return fd_ >= 0; }

protected:
  int_type underflow() override;
  std::streamsize xsgetn(char_type* out, std::streamsize count) override;
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode mode) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode mode) override;

private:
  // read(2) into out; 0 at the end of the file and from the first error on.
  std::streamsize readFile(char* out, std::streamsize count);

  int fd_;
  bool owned_;
  bool failed_ = false;
  off_t bufferEnd_ = 0;  // file offset of egptr()
  char buffer_[4096];
};

// An input stream over a RegularFileBuffer, used in place of std::ifstream:
// failed from the start when the file is not a readable regular file.
class RegularFileStream final : public std::istream {
public:
  explicit RegularFileStream(const std::string& path);
  // Over the open file fd, from its start; fd stays the caller's.
  explicit RegularFileStream(int fd);
  bool is_open() const { return buffer_.isOpen(); }

private:
  RegularFileBuffer buffer_;
};
