// Signing keys as tpk reads and writes them, and the trailer signer that the
// package writer calls. Key files are one line: 64 lowercase hex digits (32
// bytes, byte 0 first) and a newline; the secret is the little-endian scalar,
// the public key the little-endian x-coordinate the installer stores.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pkgwriter/package_builder.h"

namespace tpk {

struct SecretKey {
  std::array<std::uint8_t, 32> bytes{};
};
using PublicKey = std::array<std::uint8_t, 32>;

// Reads a key file (secret or public). False with a message in error.
bool readKeyFile(const std::string& path, std::array<std::uint8_t, 32>& key, std::string& error);
bool readSecretKey(const std::string& path, SecretKey& key, std::string& error);
// The key file text for 32 bytes.
std::string keyFileText(const std::array<std::uint8_t, 32>& key);

// A signer for pkgwriter that signs digests with key.
pkgwriter::TrailerSigner trailerSigner(const SecretKey& key);

// A new random key pair. False with a message in error.
bool generateKeyPair(SecretKey& secret, PublicKey& publicKey, std::string& error);

}  // namespace tpk
