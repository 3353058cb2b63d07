// The signature check of a trailer part lives here, beside the acceptance rule
// that uses it, so that readers which never check signatures do not pull in the
// signature arithmetic.
#include "pkgfile/package_acceptance.h"

#include "pkgfile/part_stream.h"
#include "sign/signature.h"

bool PartBuffer::verifySignature(const std::uint8_t* publicKey) {
  std::uint8_t digest[digestSize];
  std::uint8_t trailer[trailerSize];
  if (!readTrailer(digest, trailer)) return false;
  return checkSignature(digest, trailer, publicKey);
}

bool PartStream::verifySignature(const std::uint8_t* publicKey) {
  return buffer_->verifySignature(publicKey);
}

bool acceptPackage(PartStream& stream, const TrustAnchors& trust) {
  if (stream.currentType() == partSignature) {
    if (!stream.verifySignature(trust.publicKey)) return false;
    stream.next();
    return true;
  }
  std::uint8_t digest[digestSize];
  return stream.takeDigest(digest) && isKnownDigest(digest, trust);
}

bool acceptPackage(PartStream& stream, const std::uint8_t* publicKey) {
  TrustAnchors trust = configuredTrust();
  if (publicKey != nullptr) trust.publicKey = publicKey;
  return acceptPackage(stream, trust);
}
