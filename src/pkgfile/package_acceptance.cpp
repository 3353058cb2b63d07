// The signature check of a trailer part lives here, beside the acceptance rule
// that uses it, so that readers which never check signatures do not pull in the
// signature arithmetic.
#include "pkgfile/package_acceptance.h"

#include <algorithm>
#include <cstring>

#include "pkgfile/binding.h"
#include "pkgfile/header_parts.h"
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

PackageVerdict judgePackage(PartStream& stream, const TrustAnchors& trust, std::uint8_t* digest) {
  if (stream.currentType() != partSignature) {
    return stream.takeDigest(digest) && isKnownDigest(digest, trust)
               ? PackageVerdict::Accepted
               : PackageVerdict::NoSignatureUnknownDigest;
  }
  std::uint8_t trailer[trailerSize];
  if (!stream.buffer().readTrailer(digest, trailer)) return PackageVerdict::Malformed;
  if (std::memcmp(trailer, digest, digestSize) != 0) return PackageVerdict::DigestMismatch;
  if (!checkSignature(digest, trailer, trust.publicKey)) return PackageVerdict::BadSignature;
  stream.next();
  return PackageVerdict::Accepted;
}

bool acceptPackage(PartStream& stream, const TrustAnchors& trust) {
  std::uint8_t digest[digestSize];
  return judgePackage(stream, trust, digest) == PackageVerdict::Accepted;
}

bool acceptPackage(PartStream& stream, const std::uint8_t* publicKey) {
  TrustAnchors trust = configuredTrust();
  if (publicKey != nullptr) trust.publicKey = publicKey;
  return acceptPackage(stream, trust);
}

namespace {

// The parts the file check handles itself; while a reporting check reads a
// header, the header reader's parts and a bundle's default-disabled list are
// wanted too.
constexpr std::uint32_t checkedTypes[] = {partPackage,  partBundle,  partImage,
                                          partFileTree, partBinding, partSignature};
constexpr std::uint32_t headerTypes[] = {partText24,    partArchitecture,   partText2,
                                         partNote,      partDependencies,   partProvides,
                                         partConflicts, partDisabledMembers};

bool isChecked(int type) {
  return type == -1 || std::find(std::begin(checkedTypes), std::end(checkedTypes),
                                 std::uint32_t(type)) != std::end(checkedTypes);
}

// The header parts as the header reader reads them, and a bundle's
// default-disabled list as the planner reads it; false when either refuses.
bool readHeader(PartStream& stream, Package& record) {
  stream.wanted.insert(stream.wanted.end(), std::begin(headerTypes), std::end(headerTypes));
  bool read = readHeaderParts(record, stream);
  if (read && record.isBundle && stream.currentType() == partDisabledMembers) {
    std::vector<Dependency> disabled;
    read = readListPart(stream, disabled);
  }
  stream.wanted.assign(std::begin(checkedTypes), std::end(checkedTypes));
  return read;
}

// Passes over the header part the stream is on. With a report the header is
// read (readHeader) and the parts read are passed over all the same; false
// (the package malformed) when it is refused.
bool passHeader(PartStream& stream, FileCheckReport* report) {
  if (report == nullptr) return stream.next(), true;
  Package record;
  if (stream.currentType() == partPackage) ++report->packages;
  const bool read = readHeader(stream, record);
  if (report->name.empty()) report->firstName = record.name;
  // A refused header is its package's own fault: the name it gave, if any.
  report->name = record.name;
  if (!read) {
    report->verdict = PackageVerdict::Malformed;
    return false;
  }
  if (!isChecked(stream.currentType())) stream.next();
  return true;
}

bool acceptReported(PartStream& stream, const TrustAnchors& trust, FileCheckReport* report) {
  if (report == nullptr) return acceptPackage(stream, trust);
  std::uint8_t digest[digestSize];
  report->verdict = judgePackage(stream, trust, digest);
  return report->verdict == PackageVerdict::Accepted;
}

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

// A binding that differs refuses the file once its first package was judged:
// a package that is itself refused is reported for its own fault first.
bool refuseBinding(FileCheckReport* report) {
  if (report != nullptr) {
    report->verdict = PackageVerdict::BindingMismatch;
    report->name = report->firstName;
  }
  return false;
}

}  // namespace

bool checkPackageFile(PartStream& stream, const TrustAnchors& trust, CheckProgress progress,
                      bool* bound, FileCheckReport* report) {
  stream.wanted.assign(std::begin(checkedTypes), std::end(checkedTypes));
  const bool bundle = stream.next() == partBundle;
  if (bundle && !passHeader(stream, report)) return false;
  if (bundle && stream.currentType() == partImage) stream.next();
  // A bundle without a member is broken: its own parts would act unchecked.
  std::uint8_t expected[digestSize];
  if (!expectedBinding(stream, expected)) return false;
  const BindingScope scope = bundle ? bundleFileBinding : packageFileBinding;
  BindingVerdict binding = BindingVerdict::PassedOver;
  for (bool first = true;; first = false) {
    if (bundle && stream.currentType() == -1) break;
    if (stream.currentType() != partPackage) return false;
    if (!passHeader(stream, report)) return false;
    while (stream.currentType() == partFileTree || stream.currentType() == partImage ||
           stream.currentType() == partBinding) {
      if (stream.currentType() != partBinding) {
        readPayload(stream, progress);
      } else if (first && binding != BindingVerdict::Differs) {
        // Only the first package's binding counts; a later member's was left
        // from its life as a file of its own.
        const BindingVerdict verdict = readBinding(stream, scope, expected);
        if (verdict != BindingVerdict::PassedOver) binding = verdict;
      }
      stream.next();
    }
    // A trailer ends its package's digest window. A part between it and the
    // next member (or the end) would be covered by no check, yet the header
    // reader would take a text or relation part there as the package's own:
    // nothing may stand there.
    const bool signedPackage = stream.currentType() == partSignature;
    const std::uint32_t trailerEnd = stream.partOffset() + stream.partLength();
    if (!acceptReported(stream, trust, report)) return false;
    if (binding == BindingVerdict::Differs) return refuseBinding(report);
    const std::uint32_t following = stream.partOffset() - (stream.currentType() == -1 ? 0 : 6);
    if (signedPackage && following != trailerEnd) return false;
    // The stream ends right after the last package.
    if (!bundle) {
      if (stream.currentType() != -1) return false;
      break;
    }
  }
  if (bound != nullptr) *bound = binding == BindingVerdict::Matches;
  return true;
}

FileCheckReport checkPackageFileReported(PartStream& stream, const TrustAnchors& trust) {
  FileCheckReport report;
  const bool accepted = checkPackageFile(stream, trust, {}, nullptr, &report);
  if (!accepted && report.verdict == PackageVerdict::Accepted) {
    report.verdict = PackageVerdict::Malformed;
    report.name = report.firstName;
  }
  return report;
}
