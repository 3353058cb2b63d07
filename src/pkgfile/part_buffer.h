// The stream buffer under a PartStream: it confines reads to the payload of
// the current part, passes over the rest of a part, reads part headers, keeps a
// running SHA-1 of what it reads and copies what it reads to an optional tee.
// It keeps no get area: every character goes to the source at once.
#pragma once

#include <cstdint>
#include <streambuf>

#include "pkgfile/read_result.h"
#include "pkgfile/sha1.h"

class PartBuffer final : public std::streambuf {
public:
  // source and tee (may be null) are not owned and must outlive the buffer.
  PartBuffer(std::streambuf* source, bool hashing, std::streambuf* tee);
  PartBuffer(const PartBuffer&) = delete;
  PartBuffer& operator=(const PartBuffer&) = delete;

  // Reads the 8-byte file header straight from the source, unhashed. NotRead
  // when fewer than 8 bytes came; otherwise copies it to the tee and hands out
  // the magic and the length field.
  [[nodiscard]] ReadResult readFileHeader(std::uint32_t& magic, std::uint32_t& length);

  // Passes over what is left of the current part and reads the next part
  // header. Returns its type, or -1 at the end of the input (a digest is then
  // ready) or when the input ends inside the part being passed over.
  int readPartHeader();

  // Hands out the last finished digest once; NotRead when none is ready.
  [[nodiscard]] ReadResult takeDigest(std::uint8_t* out);

  // Steps 1-4 of the signature check, on a trailer part whose payload has not
  // been read: ends the digest window (digest receives it) and reads the 68
  // trailer bytes unhashed. NotRead when hashing is off, the part is shorter
  // than a trailer or the trailer cannot be read whole.
  [[nodiscard]] ReadResult readTrailer(std::uint8_t* digest, std::uint8_t* trailer);

  bool hashing() const { return hashing_; }
  std::uint32_t partLength() const { return partLength_; }
  std::uint32_t partOffset() const { return payloadOffset_; }
  std::uint32_t remaining() const { return remaining_; }

protected:
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode mode) override;
  pos_type seekpos(pos_type position, std::ios_base::openmode mode) override;
  std::streamsize showmanyc() override;
  std::streamsize xsgetn(char_type* buffer, std::streamsize count) override;
  int_type underflow() override;
  int_type uflow() override;
  int_type pbackfail(int_type c) override;

private:
  // Bulk read from the source, a read that throws counting as a short one.
  std::streamsize sourceRead(char* buffer, std::streamsize count);
  // Bulk read from the source; bytes re-read after a put-back are neither
  // hashed nor teed again.
  std::streamsize lowLevelRead(char* buffer, std::streamsize count);
  // Reads and discards count bytes through a stack buffer; returns how many came.
  std::uint32_t chunkedSkip(std::uint32_t count);
  // Ends the digest window: the digest waits to be taken, the hasher restarts.
  void finishDigest();
  void copyToTee(const char* bytes, std::streamsize count);

  std::streambuf* source_;
  std::uint32_t payloadOffset_ = 0;
  std::uint32_t partLength_ = 0;
  std::uint32_t remaining_ = 0;
  std::streambuf* tee_;
  SHA1 hasher_;
  bool hashing_;
  bool digestReady_ = false;
  std::uint32_t skipCount_ = 0;
  std::uint8_t digest_[SHA1::digestSize] = {};
};
