#include "sign/signature.h"

#include "sign/hash256.h"
#include "sign/signature_ladder.h"
#include "sign/trust_config.h"

namespace {

bool sameBytes(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

const std::uint8_t* signerPublicKey() { return configuredSignerKey; }

void challengeScalar(std::uint8_t h[32], const std::uint8_t* digest, const std::uint8_t* r) {
  hash256(h, digest, digestSize);
  for (int i = 0; i < 16; ++i) h[8 + i] ^= r[i];
  h[31] = std::uint8_t((h[31] & 0x7F) | 0x40);
  h[0] = std::uint8_t(h[0] & 0xF8);
}

bool checkSignature(const std::uint8_t* digest, const std::uint8_t* trailer,
                    const std::uint8_t* publicKey) {
  if (!sameBytes(trailer, digest, digestSize)) return false;

  const std::uint8_t* r = trailer + digestSize;
  const std::uint8_t* v = trailer + digestSize + 16;
  std::uint8_t h[32];
  challengeScalar(h, digest, r);

  std::uint8_t y[32];
  jointLadderX(y, v, h, publicKey != nullptr ? publicKey : configuredSignerKey);

  std::uint8_t check[hash256Size];
  hash256(check, y, sizeof y);
  return sameBytes(check, r, 16);
}

TrustAnchors configuredTrust() {
  return TrustAnchors{configuredSignerKey, configuredKnownDigests, configuredKnownDigestCount};
}

bool isKnownDigest(const std::uint8_t* digest, const TrustAnchors& trust) {
  for (std::size_t i = 0; i < trust.knownDigestCount; ++i) {
    if (sameBytes(trust.knownDigests[i], digest, digestSize)) return true;
  }
  return false;
}

bool isKnownDigest(const std::uint8_t* digest) { return isKnownDigest(digest, configuredTrust()); }
