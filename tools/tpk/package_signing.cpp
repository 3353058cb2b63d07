#include "tpk/package_signing.h"

#include "pkgwriter/key_signer.h"
#include "signer/signer.h"

namespace tpk {

bool readKeyFile(const std::string& path, KeyBytes& key, std::string& error) {
  if (signer::readKeyFile(path, key.data())) return true;
  error = path + ": not a readable key file (one line of 64 hex digits)";
  return false;
}

bool readSecretKey(const std::string& path, KeyBytes& secret, std::string& error) {
  if (!readKeyFile(path, secret, error)) return false;
  if (signer::isValidSecret(secret.data())) return true;
  error = path + ": not a valid secret key";
  return false;
}

bool readPublicKey(const std::string& path, KeyBytes& publicKey, std::string& error) {
  if (!readKeyFile(path, publicKey, error)) return false;
  // The verifier reads all 256 bits, so a key of p or above (bit 255 set, or
  // p .. 2^255 - 1) would silently stand for another x-coordinate.
  bool belowP = publicKey[31] < 0x7F;
  if (publicKey[31] == 0x7F) {
    for (int i = 30; i >= 1 && !belowP; --i) belowP = publicKey[i] != 0xFF;
    belowP = belowP || publicKey[0] < 0xED;
  }
  bool zero = true;
  for (std::uint8_t b : publicKey) zero = zero && b == 0;
  if (belowP && !zero) return true;
  error = path + ": not a valid public key (a canonical, non-zero x-coordinate)";
  return false;
}

pkgwriter::TrailerSigner trailerSigner(const KeyBytes& secret) {
  return pkgwriter::secretKeySigner(secret);
}

bool generateKeyPair(KeyBytes& secret, KeyBytes& publicKey, std::string& error) {
  if (!signer::generateSecret(secret.data())) {
    error = "no randomness available for a new key";
    return false;
  }
  if (!signer::publicKeyFromSecret(secret.data(), publicKey.data())) {
    error = "the new secret has no public key";
    return false;
  }
  return true;
}

}  // namespace tpk
