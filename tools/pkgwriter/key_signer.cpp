#include "pkgwriter/key_signer.h"

#include "signer/signer.h"

namespace pkgwriter {

TrailerSigner secretKeySigner(const SecretKeyBytes& secret) {
  return [secret](const Digest& digest, std::string& trailer) {
    std::uint8_t bytes[trailerPayloadSize];
    if (!signer::signDigest(secret.data(), digest.data(), bytes)) return false;
    trailer.assign(reinterpret_cast<const char*>(bytes), sizeof bytes);
    return true;
  };
}

TrailerSigner keyFileSigner(const std::string& path) {
  SecretKeyBytes secret{};
  if (!signer::readKeyFile(path, secret.data()))
    return [](const Digest&, std::string&) { return false; };
  return secretKeySigner(secret);
}

}  // namespace pkgwriter
