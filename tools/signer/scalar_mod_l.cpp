#include "signer/scalar_mod_l.h"

namespace signer {

const std::uint8_t orderL[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58,
                                 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

namespace {

// 256-bit numbers as eight 32-bit words, least significant first.
struct Words {
  std::uint32_t w[8];
};

Words load(const std::uint8_t b[32]) {
  Words x;
  for (int i = 0; i < 8; ++i) {
    x.w[i] = std::uint32_t(b[4 * i]) | std::uint32_t(b[4 * i + 1]) << 8 |
             std::uint32_t(b[4 * i + 2]) << 16 | std::uint32_t(b[4 * i + 3]) << 24;
  }
  return x;
}

void store(std::uint8_t b[32], const Words& x) {
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j) b[4 * i + j] = std::uint8_t(x.w[i] >> (8 * j));
  }
}

// x -= y when x >= y; both below 2^256.
void subtractIfAtLeast(Words& x, const Words& y) {
  std::uint32_t difference[8];
  std::uint64_t borrow = 0;
  for (int i = 0; i < 8; ++i) {
    const std::uint64_t d = std::uint64_t(x.w[i]) - y.w[i] - borrow;
    difference[i] = std::uint32_t(d);
    borrow = (d >> 63) & 1;
  }
  if (borrow == 0) {
    for (int i = 0; i < 8; ++i) x.w[i] = difference[i];
  }
}

// The bits of the number in (nbytes little-endian bytes) mod L, by shifting them
// in from the top: the remainder stays below L < 2^253, so twice it plus one fits.
void reduceBytes(std::uint8_t out[32], const std::uint8_t* in, int nbytes) {
  const Words l = load(orderL);
  Words r{};
  for (int bit = 8 * nbytes - 1; bit >= 0; --bit) {
    for (int i = 7; i > 0; --i) r.w[i] = (r.w[i] << 1) | (r.w[i - 1] >> 31);
    r.w[0] = (r.w[0] << 1) | ((in[bit / 8] >> (bit % 8)) & 1);
    subtractIfAtLeast(r, l);
  }
  store(out, r);
}

}  // namespace

void scalarReduce512(std::uint8_t out[32], const std::uint8_t in[64]) { reduceBytes(out, in, 64); }

void scalarReduce(std::uint8_t out[32], const std::uint8_t in[32]) { reduceBytes(out, in, 32); }

void scalarMul(std::uint8_t out[32], const std::uint8_t a[32], const std::uint8_t b[32]) {
  const Words x = load(a), y = load(b);
  std::uint64_t product[16] = {};
  for (int i = 0; i < 8; ++i) {
    std::uint64_t carry = 0;
    for (int j = 0; j < 8; ++j) {
      const std::uint64_t t = std::uint64_t(x.w[i]) * y.w[j] + product[i + j] + carry;
      product[i + j] = t & 0xFFFFFFFF;
      carry = t >> 32;
    }
    product[i + 8] = carry;
  }
  std::uint8_t wide[64];
  for (int i = 0; i < 16; ++i) {
    for (int j = 0; j < 4; ++j) wide[4 * i + j] = std::uint8_t(product[i] >> (8 * j));
  }
  scalarReduce512(out, wide);
}

void scalarSub(std::uint8_t out[32], const std::uint8_t a[32], const std::uint8_t b[32]) {
  // a + (L - b), then one conditional subtraction of L.
  const Words x = load(a), y = load(b), l = load(orderL);
  Words r;
  std::int64_t carry = 0;
  for (int i = 0; i < 8; ++i) {
    const std::int64_t t = std::int64_t(x.w[i]) + l.w[i] - y.w[i] + carry;
    r.w[i] = std::uint32_t(t);
    carry = t >> 32;
  }
  subtractIfAtLeast(r, l);
  store(out, r);
}

void scalarInvert(std::uint8_t out[32], const std::uint8_t a[32]) {
  // L - 2, scanned from the top bit.
  std::uint8_t exponent[32];
  for (int i = 0; i < 32; ++i) exponent[i] = orderL[i];
  exponent[0] = std::uint8_t(exponent[0] - 2);  // no borrow: L ends in 0xed
  std::uint8_t result[32] = {1};
  for (int bit = 252; bit >= 0; --bit) {
    scalarMul(result, result, result);
    if ((exponent[bit / 8] >> (bit % 8)) & 1) scalarMul(result, result, a);
  }
  for (int i = 0; i < 32; ++i) out[i] = result[i];
}

bool scalarIsReduced(const std::uint8_t a[32]) {
  for (int i = 31; i >= 0; --i) {
    if (a[i] != orderL[i]) return a[i] < orderL[i];
  }
  return false;
}

bool scalarIsZero(const std::uint8_t a[32]) {
  std::uint8_t any = 0;
  for (int i = 0; i < 32; ++i) any |= a[i];
  return any == 0;
}

}  // namespace signer
