#include "tpk/package_signing.h"

#include "tpk/file_io.h"

namespace tpk {

bool readKeyFile(const std::string& path, std::array<std::uint8_t, 32>& key, std::string& error) {
  std::string text;
  if (!readWholeFile(path, text, error, 4096)) return false;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.size() != 64) {
    error = path + ": expected 64 hexadecimal digits";
    return false;
  }
  for (std::size_t i = 0; i < 32; ++i) {
    unsigned value = 0;
    for (std::size_t j = 0; j < 2; ++j) {
      const char c = text[2 * i + j];
      unsigned digit = 0;
      if (c >= '0' && c <= '9') digit = unsigned(c - '0');
      else if (c >= 'a' && c <= 'f') digit = unsigned(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F') digit = unsigned(c - 'A' + 10);
      else {
        error = path + ": expected 64 hexadecimal digits";
        return false;
      }
      value = value * 16 + digit;
    }
    key[i] = std::uint8_t(value);
  }
  return true;
}

bool readSecretKey(const std::string& path, SecretKey& key, std::string& error) {
  return readKeyFile(path, key.bytes, error);
}

std::string keyFileText(const std::array<std::uint8_t, 32>& key) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : key) {
    text.push_back(digits[b >> 4]);
    text.push_back(digits[b & 15]);
  }
  return text + "\n";
}

pkgwriter::TrailerSigner trailerSigner(const SecretKey&) {
  return [](const pkgwriter::Digest&, std::string&) { return false; };
}

bool generateKeyPair(SecretKey&, PublicKey&, std::string& error) {
  error = "key generation is not available in this build";
  return false;
}

}  // namespace tpk
