#include "sign/hash256.h"

#include "sign/trust_config.h"

namespace {

inline std::uint32_t rotr(std::uint32_t x, unsigned n) { return (x >> n) | (x << (32 - n)); }

inline std::uint32_t loadBigEndian(const std::uint8_t* b) {
  return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 |
         std::uint32_t(b[3]);
}

inline void storeBigEndian(std::uint8_t* b, std::uint32_t x) {
  b[0] = std::uint8_t(x >> 24);
  b[1] = std::uint8_t(x >> 16);
  b[2] = std::uint8_t(x >> 8);
  b[3] = std::uint8_t(x);
}

}  // namespace

void compress256(std::uint32_t state[8], const std::uint8_t block[64]) {
  std::uint32_t w[64];
  for (unsigned t = 0; t < 16; ++t) w[t] = loadBigEndian(block + 4 * t);
  for (unsigned t = 16; t < 64; ++t) {
    const std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
    const std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = s1 + w[t - 7] + s0 + w[t - 16];
  }
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (unsigned t = 0; t < 64; ++t) {
    const std::uint32_t bigSigma1 = rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25);
    const std::uint32_t choose = (e & f) ^ (~e & g);
    const std::uint32_t t1 = h + bigSigma1 + choose + hash256RoundConstants[t] + w[t];
    const std::uint32_t bigSigma0 = rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22);
    const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
    const std::uint32_t t2 = bigSigma0 + majority;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

void hash256(std::uint8_t out[32], const std::uint8_t* data, std::uint32_t length) {
  std::uint32_t state[8];
  for (unsigned i = 0; i < 8; ++i) state[i] = hash256InitialValue[i];

  std::uint32_t done = 0;
  for (; length - done >= 64; done += 64) compress256(state, data + done);

  // The tail: the remaining 0..63 bytes, 0x80, zeros, and the bit length as a
  // 64-bit big-endian number, filling one block (rest <= 55) or two.
  std::uint8_t tail[128] = {};
  const std::uint32_t rest = length - done;
  for (std::uint32_t i = 0; i < rest; ++i) tail[i] = data[done + i];
  tail[rest] = 0x80;
  const unsigned tailSize = rest <= 55 ? 64 : 128;
  const std::uint64_t bits = std::uint64_t(length) * 8;
  for (unsigned i = 0; i < 8; ++i) tail[tailSize - 1 - i] = std::uint8_t(bits >> (8 * i));
  compress256(state, tail);
  if (tailSize == 128) compress256(state, tail + 64);

  for (unsigned i = 0; i < 8; ++i) storeBigEndian(out + 4 * i, state[i]);
}
