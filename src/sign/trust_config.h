// The trust configuration compiled into this build: the signer public key, the
// table of packages known by digest, and the hash256 constants. The values come
// from text files under config/ (see config/README.md); the definitions are
// generated at configure time.
#pragma once

#include <cstddef>
#include <cstdint>

// Little-endian x-coordinate of the signer's curve point.
extern const std::uint8_t configuredSignerKey[32];

// SHA-1 digests of the packages accepted without a signature trailer; the first
// configuredKnownDigestCount rows are entries.
extern const std::uint8_t configuredKnownDigests[][20];
extern const std::size_t configuredKnownDigestCount;

// hash256 initial state words a..h and round constants K0..K63.
extern const std::uint32_t hash256InitialValue[8];
extern const std::uint32_t hash256RoundConstants[64];
