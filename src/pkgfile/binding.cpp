#include "pkgfile/binding.h"

#include <cstring>

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

BindingVerdict readBinding(PartStream& stream, BindingScope scope, const std::uint8_t* expected) {
  if (stream.partLength() != bindingPayloadSize) return BindingVerdict::PassedOver;
  unsigned char payload[bindingPayloadSize];
  if (!stream.read(reinterpret_cast<char*>(payload), sizeof payload))
    return BindingVerdict::Differs;
  const std::uint32_t stored = std::uint32_t(payload[0]) | std::uint32_t(payload[1]) << 8 |
                               std::uint32_t(payload[2]) << 16 | std::uint32_t(payload[3]) << 24;
  if (stored != scope) return BindingVerdict::PassedOver;
  return std::memcmp(payload + 4, expected, SHA1::digestSize) == 0 ? BindingVerdict::Matches
                                                                   : BindingVerdict::Differs;
}
