// Trailer signers for the package writer that sign with a secret key, such as
// the development key of the tests (tests/data/dev-signer.secret).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pkgwriter/package_builder.h"

namespace pkgwriter {

using SecretKeyBytes = std::array<std::uint8_t, 32>;

// Signs with the secret scalar (32 bytes, little-endian); the signer fails
// for an invalid secret.
TrailerSigner secretKeySigner(const SecretKeyBytes& secret);

// Reads a secret key file (one line of 64 hex digits). An unreadable or
// malformed file gives a signer that always fails.
TrailerSigner keyFileSigner(const std::string& path);

}  // namespace pkgwriter
