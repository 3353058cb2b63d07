#include "pkgfile/inflate_stream.h"

#include <cstring>

namespace {
// The zlib interface version this adapter was written against; zlib accepts
// any version of the same major release here.
constexpr char zlibInterfaceVersion[] = "1.2.3";
}  // namespace

InflateBuffer::InflateBuffer(std::streambuf* source) : source_(source) {
  std::memset(area_, 0, sizeof area_);
  // Zeroed so that zlib uses its default allocator and starts without input.
  std::memset(&inflater_, 0, sizeof inflater_);
  // Not checked: an inflater that did not start makes the first read end.
  inflateInit_(&inflater_, zlibInterfaceVersion, static_cast<int>(sizeof(z_stream)));
  setg(outputArea(), outputArea(), outputArea());
}

InflateBuffer::~InflateBuffer() { inflateEnd(&inflater_); }

InflateBuffer::int_type InflateBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());

  // Keep the byte handed out last, so that it can still be put back.
  std::size_t keep = 0;
  if (gptr() != nullptr && gptr() > eback()) {
    area_[putBackSize - 1] = gptr()[-1];
    keep = 1;
  }

  for (;;) {
    if (inflater_.avail_in == 0) {
      if (source_ == nullptr) return traits_type::eof();
      const std::streamsize got =
          source_->sgetn(reinterpret_cast<char*>(input_), static_cast<std::streamsize>(inputSize));
      if (got <= 0) return traits_type::eof();
      inflater_.next_in = input_;
      inflater_.avail_in = static_cast<uInt>(got);
    }

    inflater_.next_out = reinterpret_cast<Bytef*>(outputArea());
    inflater_.avail_out = static_cast<uInt>(outputSize);
    const int result = inflate(&inflater_, Z_PARTIAL_FLUSH);
    if (result != Z_OK && result != Z_STREAM_END) return traits_type::eof();
    if (result == Z_STREAM_END) complete_ = true;

    const std::size_t written = outputSize - inflater_.avail_out;
    produced_ += static_cast<std::uint32_t>(written);
    setg(outputArea() - keep, outputArea(), outputArea() + written);

    if (written != 0) return traits_type::to_int_type(*gptr());
    if (result == Z_STREAM_END) return traits_type::eof();
    // This input chunk gave nothing yet (it ended inside a block header, for
    // instance): feed the next one.
  }
}

InflateBuffer::pos_type InflateBuffer::seekoff(off_type offset, std::ios_base::seekdir direction,
                                               std::ios_base::openmode) {
  const pos_type failed(off_type(-1));
  off_type count = 0;
  if (direction == std::ios_base::beg) {
    if (offset < off_type(produced_)) return failed;
    count = offset - off_type(produced_);
  } else if (direction == std::ios_base::cur) {
    if (offset < 0) return failed;
    count = offset;
  } else {
    return failed;
  }

  char scratch[skipChunk];
  while (count > 0) {
    const std::streamsize chunk =
        count < off_type(skipChunk) ? static_cast<std::streamsize>(count) : std::streamsize(skipChunk);
    if (sgetn(scratch, chunk) != chunk) return failed;
    count -= chunk;
  }
  return pos_type(off_type(produced_));
}

InflateBuffer::pos_type InflateBuffer::seekpos(pos_type position, std::ios_base::openmode mode) {
  return seekoff(off_type(position), std::ios_base::beg, mode);
}

InflateStream::InflateStream(std::istream& input)
    : std::istream(nullptr), buffer_(std::make_unique<InflateBuffer>(input.rdbuf())) {
  rdbuf(buffer_.get());
}

InflateStream::~InflateStream() = default;
