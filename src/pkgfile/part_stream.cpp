#include "pkgfile/part_stream.h"

#include <algorithm>

PartStream::PartStream(std::istream& input, bool hashing, std::streambuf* tee)
    : std::istream(nullptr),
      buffer_(std::make_unique<PartBuffer>(input.rdbuf(), hashing, tee)) {
  rdbuf(buffer_.get());
  std::uint32_t length = 0;
  if (buffer_->readFileHeader(magic_, length) == ReadResult::Read) {
    totalLength_ = length + 8;
  } else {
    magic_ = 0xFFFFFFFF;
  }
  if (magic_ != packageMagic && magic_ != alternatePackageMagic) setstate(std::ios_base::failbit);
}

PartStream::~PartStream() = default;

int PartStream::next() {
  if (fail()) {
    currentType_ = -1;
    return -1;
  }
  clear(rdstate() & ~std::ios_base::eofbit);
  for (;;) {
    const int type = buffer_->readPartHeader();
    currentType_ = type;
    if (type == -1) break;
    if (places != nullptr)
      places->push_back(
          {std::uint16_t(type), buffer_->partOffset() - partHeaderSize, buffer_->partLength()});
    if (std::find(wanted.begin(), wanted.end(), std::uint32_t(type)) != wanted.end()) return type;
  }
  setstate(std::ios_base::eofbit | std::ios_base::failbit);
  return -1;
}
