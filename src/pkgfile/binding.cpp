#include "pkgfile/binding.h"

#include <cstring>

#include "pkgfile/byte_order.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/sha1.h"

void bindingDigest(std::uint32_t magic, std::uint32_t length, const std::uint8_t* leadingDigest,
                   std::uint8_t* out) {
  std::uint8_t header[8];
  for (int i = 0; i < 4; ++i) {
    header[i] = std::uint8_t(magic >> (8 * i));
    header[4 + i] = std::uint8_t(length >> (8 * i));
  }
  SHA1 hash;
  hash.update(header, sizeof header);
  hash.update(leadingDigest, SHA1::digestSize);
  hash.digest(out);
}

ReadResult expectedBinding(PartStream& stream, std::uint8_t* out) {
  std::uint8_t leading[SHA1::digestSize];
  if (stream.currentType() != partPackage || stream.takeDigest(leading) != ReadResult::Read)
    return ReadResult::NotRead;
  bindingDigest(stream.magic(), stream.totalLength() - 8, leading, out);
  return ReadResult::Read;
}

BindingVerdict readBinding(PartStream& stream, BindingScope scope, const std::uint8_t* expected) {
  if (stream.partLength() != bindingPayloadSize) return BindingVerdict::PassedOver;
  unsigned char payload[bindingPayloadSize];
  if (!stream.read(reinterpret_cast<char*>(payload), sizeof payload))
    return BindingVerdict::Differs;
  if (load32le(payload) != scope) return BindingVerdict::PassedOver;
  return std::memcmp(payload + 4, expected, SHA1::digestSize) == 0 ? BindingVerdict::Matches
                                                                   : BindingVerdict::Differs;
}
