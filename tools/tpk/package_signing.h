// Signing keys as tpk reads and writes them. Key files are one line: 64 hex
// digits (32 bytes, byte 0 first) and a newline; the secret is the
// little-endian scalar, the public key the little-endian x-coordinate that the
// installer stores as its signer key.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pkgwriter/package_builder.h"

namespace tpk {

using KeyBytes = std::array<std::uint8_t, 32>;

// Reads a key file. False with a message in error.
bool readKeyFile(const std::string& path, KeyBytes& key, std::string& error);
// Reads a secret key file and checks the scalar is a usable secret.
bool readSecretKey(const std::string& path, KeyBytes& secret, std::string& error);
// Reads a public key file and checks the key is one the installer's trust
// configuration takes: a canonical x-coordinate (below 2^255 - 19), not zero.
bool readPublicKey(const std::string& path, KeyBytes& publicKey, std::string& error);

// A signer for pkgwriter that signs digests with secret.
pkgwriter::TrailerSigner trailerSigner(const KeyBytes& secret);

// A new random key pair. False with a message in error.
bool generateKeyPair(KeyBytes& secret, KeyBytes& publicKey, std::string& error);

}  // namespace tpk
