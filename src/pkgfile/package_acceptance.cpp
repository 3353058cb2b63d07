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

bool checkPackageFile(PartStream& stream, const TrustAnchors& trust, CheckProgress progress) {
  stream.wanted = {partPackage, partBundle, partImage, partFileTree, partSignature};
  const bool bundle = stream.next() == partBundle;
  if (bundle && stream.next() == partImage) stream.next();
  for (;;) {
    if (bundle && stream.currentType() == -1) return true;
    if (stream.currentType() != partPackage) return false;
    stream.next();
    while (stream.currentType() == partFileTree || stream.currentType() == partImage) {
      constexpr std::streamsize blockSize = 4096;
      char block[blockSize];
      std::streamsize got = 0;
      do {
        got = stream.rdbuf()->sgetn(block, blockSize);
        if (progress.update != nullptr) {
          const std::uint32_t read = stream.partLength() - stream.buffer().remaining();
          progress.update(progress.context, stream.partOffset() + read, stream.totalLength());
        }
      } while (got == blockSize);
      stream.next();
    }
    // A trailer ends its package's digest window. A part between it and the
    // next member (or the end) would be covered by no check, yet the header
    // reader would take a text or relation part there as the package's own:
    // nothing may stand there.
    const bool signedPackage = stream.currentType() == partSignature;
    const std::uint32_t trailerEnd = stream.partOffset() + stream.partLength();
    if (!acceptPackage(stream, trust)) return false;
    const std::uint32_t following = stream.partOffset() - (stream.currentType() == -1 ? 0 : 6);
    if (signedPackage && following != trailerEnd) return false;
    // The stream ends right after the last package.
    if (!bundle) return stream.currentType() == -1;
  }
}
