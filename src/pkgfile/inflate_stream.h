// The decompressing stream through which the extractor reads a package's
// compressed file tree (a zlib stream with its two-byte header and Adler-32).
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>

// Pulls compressed bytes from a source stream buffer (not owned) and hands out
// the decompressed bytes. Corrupt data, a missing dictionary, a truncated
// source and the end of the source all show as end-of-file. Positions count
// decompressed bytes produced so far; seeking only moves forward.
class InflateBuffer : public std::streambuf {
public:
  static constexpr std::size_t putBackSize = 16;
  static constexpr std::size_t outputSize = 4096;
  static constexpr std::size_t inputSize = 4096;
  static constexpr std::size_t skipChunk = 1024;

  explicit InflateBuffer(std::streambuf* source);
  ~InflateBuffer() override;
  InflateBuffer(const InflateBuffer&) = delete;
  InflateBuffer& operator=(const InflateBuffer&) = delete;

  // Decompressed bytes produced so far (handed out or waiting in the get area).
  std::uint32_t produced() const { return produced_; }
  // Whether the compressed data reached their end marker and their check
  // matched. Until then an end-of-file means the data were cut short or
  // corrupt, not that they ended.
  bool complete() const { return complete_; }

protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode mode) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode mode) override;
  int_type underflow() override;

private:
  char* outputArea() { return area_ + putBackSize; }

  // The put-back reserve followed directly by the output area, so that the
  // last byte of the reserve sits right before the first decompressed byte.
  char area_[putBackSize + outputSize];
  unsigned char input_[inputSize];
  z_stream inflater_;
  std::streambuf* source_;
  std::uint32_t produced_ = 0;
  bool complete_ = false;
};

// An input stream over an owned InflateBuffer whose source is the stream
// buffer of the given stream (in use: a PartStream positioned on the
// compressed file tree part).
class InflateStream : public std::istream {
public:
  explicit InflateStream(std::istream& input);
  ~InflateStream() override;

  InflateBuffer& buffer() { return *buffer_; }

private:
  std::unique_ptr<InflateBuffer> buffer_;
};
