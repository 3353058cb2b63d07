// An in-memory input for part stream tests that counts the bytes handed out
// by bulk reads and the seeks it granted; it can refuse seeks as a pipe does.
#pragma once

#include <streambuf>
#include <string>

namespace testing_support {

class MemorySource : public std::streambuf {
public:
  explicit MemorySource(std::string bytes, bool seekable = true)
      : bytes_(std::move(bytes)), seekable_(seekable) {
    setg(bytes_.data(), bytes_.data(), bytes_.data() + bytes_.size());
  }
  std::size_t bulkBytes = 0;
  int seeks = 0;

protected:
  std::streamsize xsgetn(char* out, std::streamsize count) override {
    const std::streamsize got = std::streambuf::xsgetn(out, count);
    bulkBytes += std::size_t(got);
    return got;
  }
  pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode) override {
    return seekTo((way == std::ios_base::cur ? gptr() - eback() : 0) + offset);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode) override {
    return seekTo(off_type(position));
  }

private:
  pos_type seekTo(off_type target) {
    if (!seekable_ || target < 0 || target > off_type(bytes_.size())) return pos_type(off_type(-1));
    ++seeks;
    setg(eback(), eback() + target, egptr());
    return pos_type(target);
  }
  std::string bytes_;
  bool seekable_;
};

}  // namespace testing_support
