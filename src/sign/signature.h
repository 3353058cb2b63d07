// Package signatures: the check of a signature trailer against a package
// digest, and the table of packages known by digest alone.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t digestSize = 20;        // SHA-1 of a package's digest window
constexpr std::size_t trailerSize = 68;       // digest(20) r(16) v(32)
constexpr std::size_t publicKeySize = 32;     // little-endian x of the signer's point

// The signer public key of this build's trust configuration.
const std::uint8_t* signerPublicKey();

// The arithmetic of the check: true when the 68-byte trailer carries digest and
// a signature over it made with the key publicKey (the configured key when
// null). The trailer's digest copy is compared first, before any curve work.
bool checkSignature(const std::uint8_t* digest, const std::uint8_t* trailer,
                    const std::uint8_t* publicKey = nullptr);

// What packages are checked against: the signer key and the table of packages
// known by digest alone.
struct TrustAnchors {
  const std::uint8_t* publicKey;                   // publicKeySize bytes
  const std::uint8_t (*knownDigests)[digestSize];  // knownDigestCount entries
  std::size_t knownDigestCount;
};

// The anchors of this build's trust configuration.
TrustAnchors configuredTrust();

// True when the 20 bytes equal an entry of the known-digest table (of this
// build, or of the given anchors), compared in table order.
bool isKnownDigest(const std::uint8_t* digest);
bool isKnownDigest(const std::uint8_t* digest, const TrustAnchors& trust);

// The challenge scalar h of a trailer: hash256 of the digest, trailer bytes
// 20..35 (r) XORed into bytes 8..23, then clamped (bit 255 cleared, bit 254 set,
// bits 0..2 cleared). A 32-byte little-endian string, not reduced.
void challengeScalar(std::uint8_t h[32], const std::uint8_t* digest, const std::uint8_t* r);
