#include "pkgfile/builtin_sha1.h"

#include <cstring>

namespace {

constexpr std::uint32_t rotl(std::uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

}  // namespace

void BuiltinSha1::reset() {
  h_[0] = 0x67452301;
  h_[1] = 0xEFCDAB89;
  h_[2] = 0x98BADCFE;
  h_[3] = 0x10325476;
  h_[4] = 0xC3D2E1F0;
  used_ = 0;
  total_ = 0;
}

void BuiltinSha1::compress(const std::uint8_t* block) {
  std::uint32_t w[80];
  for (int i = 0; i < 16; ++i) {
    const std::uint8_t* b = block + 4 * i;
    w[i] = (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) |
           (std::uint32_t(b[2]) << 8) | std::uint32_t(b[3]);
  }
  for (int i = 16; i < 80; ++i) w[i] = rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

  std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const std::uint32_t t = rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = rotl(b, 30);
    b = a;
    a = t;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
}

void BuiltinSha1::update(const void* data, std::size_t length) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  total_ += length;
  if (used_ > 0) {
    const std::size_t take = length < 64 - used_ ? length : 64 - used_;
    std::memcpy(block_ + used_, p, take);
    used_ += take;
    p += take;
    length -= take;
    if (used_ < 64) return;
    compress(block_);
    used_ = 0;
  }
  for (; length >= 64; p += 64, length -= 64) compress(p);
  if (length > 0) {
    std::memcpy(block_, p, length);
    used_ = length;
  }
}

void BuiltinSha1::digest(std::uint8_t* out) {
  const std::uint64_t bits = total_ * 8;
  std::uint8_t pad[72] = {0x80};
  // Pad to 56 bytes modulo 64, then the 64-bit big-endian bit count.
  const std::size_t padLength = (used_ < 56 ? 56 - used_ : 120 - used_);
  for (int i = 0; i < 8; ++i) pad[padLength + i] = std::uint8_t(bits >> (56 - 8 * i));
  update(pad, padLength + 8);
  for (int i = 0; i < 5; ++i) {
    out[4 * i] = std::uint8_t(h_[i] >> 24);
    out[4 * i + 1] = std::uint8_t(h_[i] >> 16);
    out[4 * i + 2] = std::uint8_t(h_[i] >> 8);
    out[4 * i + 3] = std::uint8_t(h_[i]);
  }
  reset();
}
