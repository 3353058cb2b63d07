#include "pkgfile/part_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

#include "pkgfile/byte_order.h"
#include "sign/signature.h"

namespace {

constexpr std::size_t scratchSize = 4096;

const std::streambuf::pos_type badPosition(std::streambuf::off_type(-1));

// A call into the source or the tee, with failure as its result when it
// throws: a file stream throws on a read error (a bad flash block, a
// directory), and nothing may leave the part stream that way. A read that
// fails is a short read.
template <typename Result, typename Call>
Result guarded(Result failure, Call call) noexcept {
  try {
    return call();
  } catch (...) {
    return failure;
  }
}

// A part length goes into a stream count only through here: on a 32-bit
// target std::streamsize holds 31 bits, and a part may claim up to 4 GiB.
// count must not be negative; the result is the smaller of the two.
std::streamsize boundedCount(std::streamsize count, std::uint64_t limit) {
  return limit < std::uint64_t(count) ? std::streamsize(limit) : count;
}

}  // namespace

PartBuffer::PartBuffer(std::streambuf* source, bool hashing, std::streambuf* tee)
    : source_(source), tee_(tee), hashing_(hashing) {}

void PartBuffer::finishDigest() {
  hasher_.digest(digest_);
  digestReady_ = true;
}

ReadResult PartBuffer::takeDigest(std::uint8_t* out) {
  if (!digestReady_) return ReadResult::NotRead;
  std::memcpy(out, digest_, sizeof digest_);
  digestReady_ = false;
  return ReadResult::Read;
}

void PartBuffer::copyToTee(const char* bytes, std::streamsize count) {
  if (tee_ == nullptr || count <= 0) return;
  guarded(std::streamsize(0), [&] { return tee_->sputn(bytes, count); });
}

ReadResult PartBuffer::readFileHeader(std::uint32_t& magic, std::uint32_t& length) {
  char header[8];
  if (source_ == nullptr) return ReadResult::NotRead;
  if (sourceRead(header, sizeof header) != std::streamsize(sizeof header))
    return ReadResult::NotRead;
  copyToTee(header, sizeof header);
  payloadOffset_ += sizeof header;
  const auto* b = reinterpret_cast<const unsigned char*>(header);
  magic = load32le(b);
  length = load32le(b + 4);
  return ReadResult::Read;
}

std::streamsize PartBuffer::sourceRead(char* buffer, std::streamsize count) {
  return guarded(std::streamsize(0), [&] { return source_->sgetn(buffer, count); });
}

std::streamsize PartBuffer::lowLevelRead(char* buffer, std::streamsize count) {
  const std::streamsize got = sourceRead(buffer, count);
  if (got <= 0) return got < 0 ? 0 : got;
  const std::streamsize again = std::min<std::streamsize>(got, skipCount_);
  skipCount_ -= std::uint32_t(again);
  copyToTee(buffer + again, got - again);
  if (hashing_) hasher_.update(buffer + again, std::size_t(got - again));
  return got;
}

std::uint32_t PartBuffer::chunkedSkip(std::uint32_t count) {
  char scratch[scratchSize];
  std::uint32_t done = 0;
  while (done < count) {
    const std::streamsize ask = std::min<std::uint32_t>(count - done, scratchSize);
    const std::streamsize got = lowLevelRead(scratch, ask);
    done += std::uint32_t(got);
    if (got < ask) break;
  }
  return done;
}

int PartBuffer::readPartHeader() {
  if (remaining_ > 0) {
    bool skipped = false;
    if (!hashing_ && tee_ == nullptr) {
      skipped = guarded(badPosition, [&] {
                  return source_->pubseekoff(remaining_, std::ios_base::cur,
                                             std::ios_base::in | std::ios_base::out);
                }) != badPosition;
    }
    if (!skipped) {
      const std::uint32_t got = chunkedSkip(remaining_);
      if (got < remaining_) {
        remaining_ -= got;
        return -1;
      }
    }
    remaining_ = 0;
  }
  payloadOffset_ += partLength_;
  partLength_ = 0;

  char header[6];
  if (sourceRead(header, sizeof header) != std::streamsize(sizeof header)) {
    finishDigest();
    return -1;
  }
  copyToTee(header, sizeof header);
  const auto* b = reinterpret_cast<const unsigned char*>(header);
  const int type = load16le(b);
  if (hashing_) {
    if (type == 1) finishDigest();
    hasher_.update(header, sizeof header);
  }
  payloadOffset_ += sizeof header;
  partLength_ = remaining_ = load32le(b + 2);
  return type;
}

std::streamsize PartBuffer::showmanyc() {
  // The source's -1 ("nothing more") compares as the largest unsigned count.
  const auto available = static_cast<std::make_unsigned_t<std::streamsize>>(
      guarded(std::streamsize(0), [&] { return source_->in_avail(); }));
  return boundedCount(std::numeric_limits<std::streamsize>::max(),
                      std::min<std::uint64_t>(available, remaining_));
}

PartBuffer::int_type PartBuffer::underflow() {
  if (remaining_ == 0) return traits_type::eof();
  return guarded(traits_type::eof(), [&] { return source_->sgetc(); });
}

PartBuffer::int_type PartBuffer::uflow() {
  if (remaining_ == 0) return traits_type::eof();
  remaining_ -= 1;
  const int_type c = guarded(traits_type::eof(), [&] { return source_->sbumpc(); });
  if (traits_type::eq_int_type(c, traits_type::eof())) return c;
  if (skipCount_ > 0) {
    --skipCount_;
    return c;
  }
  const char byte = traits_type::to_char_type(c);
  if (hashing_) hasher_.update(&byte, 1);
  copyToTee(&byte, 1);
  return c;
}

PartBuffer::int_type PartBuffer::pbackfail(int_type c) {
  if (remaining_ == partLength_) return traits_type::eof();
  // unget() asks with end-of-file: give the source its own last character back.
  const int_type result = guarded(traits_type::eof(), [&] {
    return traits_type::eq_int_type(c, traits_type::eof())
               ? source_->sungetc()
               : source_->sputbackc(traits_type::to_char_type(c));
  });
  if (traits_type::eq_int_type(result, traits_type::eof())) return result;
  // The byte was hashed and teed when first read; it must not be again.
  if (hashing_ || tee_ != nullptr) ++skipCount_;
  remaining_ += 1;
  return result;
}

std::streamsize PartBuffer::xsgetn(char_type* buffer, std::streamsize count) {
  if (remaining_ == 0 || count <= 0) return 0;
  const std::streamsize got = lowLevelRead(buffer, boundedCount(count, remaining_));
  remaining_ -= std::uint32_t(got);
  return got;
}

PartBuffer::pos_type PartBuffer::seekoff(off_type offset, std::ios_base::seekdir direction,
                                         std::ios_base::openmode mode) {
  switch (direction) {
    case std::ios_base::beg:
      return seekpos(pos_type(offset), mode);
    case std::ios_base::cur:
      return seekpos(pos_type(off_type(partLength_ - remaining_) + offset), mode);
    case std::ios_base::end:
      return seekpos(pos_type(off_type(partLength_) - offset), mode);
    default:
      return badPosition;
  }
}

PartBuffer::pos_type PartBuffer::seekpos(pos_type position, std::ios_base::openmode) {
  const off_type wantedPosition = off_type(position);
  if (wantedPosition < 0 || wantedPosition > off_type(partLength_)) return badPosition;
  const std::uint32_t target = partLength_ - std::uint32_t(wantedPosition);
  if (target == remaining_) return position;
  if (!hashing_ && tee_ == nullptr) {
    const off_type absolute = off_type(payloadOffset_) + wantedPosition;
    if (guarded(badPosition, [&] {
          return source_->pubseekpos(pos_type(absolute), std::ios_base::in | std::ios_base::out);
        }) != badPosition) {
      remaining_ = target;
      return position;
    }
  }
  if (target > remaining_) return badPosition;
  const std::uint32_t distance = remaining_ - target;
  const std::uint32_t got = chunkedSkip(distance);
  remaining_ -= got;
  if (got < distance) return badPosition;
  return position;
}

ReadResult PartBuffer::readTrailer(std::uint8_t* digest, std::uint8_t* trailer) {
  if (!hashing_) return ReadResult::NotRead;
  finishDigest();
  std::memcpy(digest, digest_, sizeof digest_);
  if (remaining_ < trailerSize) return ReadResult::NotRead;
  const std::streamsize got = sourceRead(reinterpret_cast<char*>(trailer), trailerSize);
  if (got < std::streamsize(trailerSize)) {
    remaining_ -= std::uint32_t(got < 0 ? 0 : got);
    return ReadResult::NotRead;
  }
  copyToTee(reinterpret_cast<const char*>(trailer), trailerSize);
  remaining_ -= trailerSize;
  return ReadResult::Read;
}
