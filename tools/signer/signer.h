// Package signing on the authoring side: trailers that the installer's signature
// check accepts, signer keys and their one-line key files.
//
// A secret is the scalar a (32 bytes little-endian, 0 < a < L); its public key is
// the canonical little-endian x of a*G, G the base point with x = 9 and even y.
// A trailer is digest(20) || r(16) || v(32): r the first 16 bytes of hash256 of
// x(k*G) for the nonce k, v = (k - h) / a' mod L with the challenge scalar h and
// a' = a or L - a, whichever makes a'*G the point with even y that the installer
// builds from the public key.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace signer {

// Whether 0 < secret < L.
bool isValidSecret(const std::uint8_t secret[32]);

// The public key (x of secret * G). False for an invalid secret.
bool publicKeyFromSecret(const std::uint8_t secret[32], std::uint8_t publicKey[32]);

// The signing scalar a' of the secret (a or L - a). False for an invalid secret.
bool signingScalar(const std::uint8_t secret[32], std::uint8_t scalar[32]);

// The 68-byte trailer for the 20-byte digest, with the deterministic nonce
// k = (hash256(0x02 || a || D) || hash256(0x03 || a || D)) mod L.
// False for an invalid secret.
bool signDigest(const std::uint8_t secret[32], const std::uint8_t digest[20],
                std::uint8_t trailer[68]);

// Fills buffer with size random bytes; false when no randomness can be had.
using RandomSource = std::function<bool(std::uint8_t* buffer, std::size_t size)>;
// Reads /dev/urandom.
bool systemRandom(std::uint8_t* buffer, std::size_t size);

// A new uniformly random secret 0 < a < L drawn from random (rejection sampling).
// False when the source fails.
bool generateSecret(std::uint8_t secret[32], const RandomSource& random = systemRandom);

// Key files: one line of 64 hex digits (32 bytes, byte 0 first) and a newline.
// readKeyFile accepts upper or lower case and a missing final newline, nothing
// else; false when the file cannot be read or is malformed.
bool readKeyFile(const std::string& path, std::uint8_t key[32]);
// The file's text for a key: the line in lower case and its newline.
std::string keyFileText(const std::uint8_t key[32]);

}  // namespace signer
