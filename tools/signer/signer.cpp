#include "signer/signer.h"

#include <fcntl.h>
#include <unistd.h>

#include "sign/hash256.h"
#include "sign/signature.h"
#include "signer/base_multiple.h"
#include "signer/scalar_mod_l.h"

namespace signer {

namespace {

// Half of the nonce input: hash256(tag || a || D).
void nonceHalf(std::uint8_t out[32], std::uint8_t tag, const std::uint8_t secret[32],
               const std::uint8_t digest[20]) {
  std::uint8_t input[1 + 32 + 20];
  input[0] = tag;
  for (int i = 0; i < 32; ++i) input[1 + i] = secret[i];
  for (int i = 0; i < 20; ++i) input[33 + i] = digest[i];
  hash256(out, input, sizeof input);
}

// The trailer for digest with nonce-deriving secret a and signing scalar
// scalar, given 1/scalar.
bool signWith(const std::uint8_t secret[32], const std::uint8_t inverseScalar[32],
              const std::uint8_t digest[20], std::uint8_t trailer[68]) {
  std::uint8_t wide[64];
  nonceHalf(wide, 0x02, secret, digest);
  nonceHalf(wide + 32, 0x03, secret, digest);
  std::uint8_t k[32];
  scalarReduce512(k, wide);
  if (scalarIsZero(k)) return false;

  std::uint8_t x[32], hashOfX[32];
  baseMultipleX(x, k);
  hash256(hashOfX, x, sizeof x);

  std::uint8_t* r = trailer + 20;
  for (int i = 0; i < 20; ++i) trailer[i] = digest[i];
  for (int i = 0; i < 16; ++i) r[i] = hashOfX[i];

  std::uint8_t h[32];
  challengeScalar(h, digest, r);
  scalarReduce(h, h);
  std::uint8_t difference[32];
  scalarSub(difference, k, h);
  scalarMul(trailer + 36, difference, inverseScalar);
  return true;
}

// The signing scalar a' and its inverse. x(a*G) cannot tell a*G from -a*G, so
// a test digest is signed with a and the verifier, which takes the point with
// even y, decides; otherwise a' = L - a, and 1/a' = L - 1/a. The second choice
// is checked too, so a broken key or arithmetic never yields trailers.
bool prepareSigning(const std::uint8_t secret[32], std::uint8_t scalar[32],
                    std::uint8_t inverse[32]) {
  std::uint8_t publicKey[32];
  if (!publicKeyFromSecret(secret, publicKey)) return false;
  static const std::uint8_t testDigest[20] = {'s', 'i', 'g', 'n', 'i', 'n', 'g', ' ', 's', 'c',
                                              'a', 'l', 'a', 'r', ' ', 't', 'e', 's', 't', 0};
  std::uint8_t trailer[68];
  scalarInvert(inverse, secret);
  for (int i = 0; i < 32; ++i) scalar[i] = secret[i];
  if (signWith(secret, inverse, testDigest, trailer) &&
      checkSignature(testDigest, trailer, publicKey)) {
    return true;
  }
  const std::uint8_t zero[32] = {};
  scalarSub(scalar, zero, secret);
  scalarSub(inverse, zero, inverse);
  return signWith(secret, inverse, testDigest, trailer) &&
         checkSignature(testDigest, trailer, publicKey);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool isValidSecret(const std::uint8_t secret[32]) {
  return scalarIsReduced(secret) && !scalarIsZero(secret);
}

bool publicKeyFromSecret(const std::uint8_t secret[32], std::uint8_t publicKey[32]) {
  if (!isValidSecret(secret)) return false;
  baseMultipleX(publicKey, secret);
  return true;
}

bool signingScalar(const std::uint8_t secret[32], std::uint8_t scalar[32]) {
  std::uint8_t inverse[32];
  return prepareSigning(secret, scalar, inverse);
}

bool signDigest(const std::uint8_t secret[32], const std::uint8_t digest[20],
                std::uint8_t trailer[68]) {
  std::uint8_t scalar[32], inverse[32];
  if (!prepareSigning(secret, scalar, inverse)) return false;
  return signWith(secret, inverse, digest, trailer);
}

bool systemRandom(std::uint8_t* buffer, std::size_t size) {
  const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = read(fd, buffer + done, size - done);
    if (n <= 0) break;
    done += std::size_t(n);
  }
  close(fd);
  return done == size;
}

bool generateSecret(std::uint8_t secret[32], const RandomSource& random) {
  // L is just above 2^252: a candidate below 2^253 is accepted about half the
  // time, so the draw gives up only on a failing (or stuck) source.
  for (int attempt = 0; attempt < 256; ++attempt) {
    if (!random(secret, 32)) return false;
    secret[31] &= 0x1F;
    if (isValidSecret(secret)) return true;
  }
  return false;
}

bool readKeyFile(const std::string& path, std::uint8_t key[32]) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[67];
  std::size_t size = 0;
  while (size < sizeof text) {
    const ssize_t n = read(fd, text + size, sizeof text - size);
    if (n <= 0) break;
    size += std::size_t(n);
  }
  close(fd);
  if (size == 65 && text[64] == '\n') size = 64;
  if (size != 64) return false;
  for (int i = 0; i < 32; ++i) {
    const int high = hexDigit(text[2 * i]), low = hexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    key[i] = std::uint8_t(high << 4 | low);
  }
  return true;
}

std::string keyFileText(const std::uint8_t key[32]) {
  static const char digits[] = "0123456789abcdef";
  std::string line;
  for (int i = 0; i < 32; ++i) {
    line.push_back(digits[key[i] >> 4]);
    line.push_back(digits[key[i] & 15]);
  }
  return line + '\n';
}

}  // namespace signer
