// The signature check of a trailer part lives here, beside the acceptance rule
// that uses it, so that readers which never check signatures do not pull in the
// signature arithmetic.
#include "pkgfile/package_acceptance.h"

#include "pkgfile/binding.h"
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

namespace {

// Reads the current payload part in blocks of 4096 bytes, telling progress.
void readPayload(PartStream& stream, const CheckProgress& progress) {
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
}

// On the first package header: the binding this file must carry, from its
// header and the digest of what stood before that header.
bool expectedBinding(PartStream& stream, std::uint8_t* expected) {
  std::uint8_t leading[digestSize];
  if (stream.currentType() != partPackage || !stream.takeDigest(leading)) return false;
  bindingDigest(stream.magic(), stream.totalLength() - 8, leading, expected);
  return true;
}

}  // namespace

bool checkPackageFile(PartStream& stream, const TrustAnchors& trust, CheckProgress progress,
                      bool* bound) {
  stream.wanted = {partPackage, partBundle, partImage, partFileTree, partBinding, partSignature};
  const bool bundle = stream.next() == partBundle;
  if (bundle && stream.next() == partImage) stream.next();
  // A bundle without a member is broken: its own parts would act unchecked.
  std::uint8_t expected[digestSize];
  if (!expectedBinding(stream, expected)) return false;
  const BindingScope scope = bundle ? bundleFileBinding : packageFileBinding;
  bool matched = false;
  for (bool first = true;; first = false) {
    if (bundle && stream.currentType() == -1) break;
    if (stream.currentType() != partPackage) return false;
    stream.next();
    while (stream.currentType() == partFileTree || stream.currentType() == partImage ||
           stream.currentType() == partBinding) {
      if (stream.currentType() != partBinding) {
        readPayload(stream, progress);
      } else if (first) {
        // Only the first package's binding counts; a later member's was left
        // from its life as a file of its own.
        const BindingVerdict verdict = readBinding(stream, scope, expected);
        if (verdict == BindingVerdict::Differs) return false;
        matched = matched || verdict == BindingVerdict::Matches;
      }
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
    if (!bundle) {
      if (stream.currentType() != -1) return false;
      break;
    }
  }
  if (bound != nullptr) *bound = matched;
  return true;
}
