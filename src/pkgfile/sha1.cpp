// SHA1 over the platform crypto library's digest interface when the build has
// it, otherwise over the built-in implementation.
#include "pkgfile/sha1.h"

#ifdef INSTALLER_HAVE_LIBCRYPTO

#include <openssl/evp.h>

struct SHA1::State {
  EVP_MD_CTX* context = nullptr;

  State() : context(EVP_MD_CTX_new()) { restart(); }
  ~State() { EVP_MD_CTX_free(context); }
  // A context that cannot be made or initialised is left null; update then
  // does nothing and digest hands out zeros, which no package matches.
  void restart() {
    if (context != nullptr && EVP_DigestInit_ex(context, EVP_sha1(), nullptr) != 1) {
      EVP_MD_CTX_free(context);
      context = nullptr;
    }
  }
};

SHA1::SHA1() : state_(std::make_unique<State>()) {}
SHA1::~SHA1() = default;

void SHA1::update(const void* data, std::size_t length) {
  if (state_->context != nullptr && length > 0) EVP_DigestUpdate(state_->context, data, length);
}

void SHA1::digest(std::uint8_t* out) {
  unsigned int written = 0;
  if (state_->context == nullptr || EVP_DigestFinal_ex(state_->context, out, &written) != 1 ||
      written != digestSize) {
    for (std::size_t i = 0; i < digestSize; ++i) out[i] = 0;
  }
  state_->restart();
}

#else

#include "pkgfile/builtin_sha1.h"

struct SHA1::State {
  BuiltinSha1 hash;
};

SHA1::SHA1() : state_(std::make_unique<State>()) {}
SHA1::~SHA1() = default;

void SHA1::update(const void* data, std::size_t length) { state_->hash.update(data, length); }
void SHA1::digest(std::uint8_t* out) { state_->hash.digest(out); }

#endif
