// The reader of a package file: checks the 8-byte file header when built, then
// walks from part to part, stopping at the types listed in wanted. The payload
// of the current part is read with the ordinary input-stream operations, which
// its PartBuffer bounds to the part.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <vector>

#include "pkgfile/part_buffer.h"
#include "pkgfile/part_type.h"

// Where a part stands in the input: its type, the offset of its 6-byte header
// and the length its header gives its payload.
struct PartPlace {
  std::uint16_t type = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

class PartStream final : public std::istream {
public:
  // input and tee (may be null) belong to the caller and must outlive the
  // stream. A short or unknown file header leaves the stream failed, and every
  // next() then returns -1.
  PartStream(std::istream& input, bool hashing, std::streambuf* tee = nullptr);
  ~PartStream() override;
  PartStream(const PartStream&) = delete;
  PartStream& operator=(const PartStream&) = delete;

  // Advances to the next part whose type is wanted and returns that type; -1
  // (with the stream in the end-of-file and fail states) when there is none or
  // the stream has failed.
  int next();
  // What next() last returned; -1 before the first next().
  int currentType() const { return currentType_; }

  std::uint32_t magic() const { return magic_; }
  bool isAlternateMagic() const { return magic_ == alternatePackageMagic; }
  // The file header's length field plus 8; 0 when there was no whole header.
  std::uint32_t totalLength() const { return totalLength_; }
  std::uint32_t partLength() const { return buffer_->partLength(); }
  // Offset of the current payload from the start of the input.
  std::uint32_t partOffset() const { return buffer_->partOffset(); }

  [[nodiscard]] ReadResult takeDigest(std::uint8_t* out) { return buffer_->takeDigest(out); }

  PartBuffer& buffer() { return *buffer_; }

  // Part types at which next() stops; only membership counts.
  std::vector<std::uint32_t> wanted;
  // When set (it belongs to the caller), next() appends the place of every
  // part header it reads, wanted or not; a walk that reaches the end has then
  // listed the file's whole layout.
  std::vector<PartPlace>* places = nullptr;

private:
  std::unique_ptr<PartBuffer> buffer_;
  int currentType_ = -1;
  std::uint32_t magic_ = 0xFFFFFFFF;
  std::uint32_t totalLength_ = 0;
};
