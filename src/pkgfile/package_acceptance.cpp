// The signature check of a trailer part lives here, in the acceptance rule,
// so that readers which never check signatures do not pull in the
// signature arithmetic.
#include "pkgfile/package_acceptance.h"

#include <algorithm>
#include <cstring>

#include "pkgfile/binding.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/part_stream.h"
#include "sign/signature.h"

namespace {

// The trailer part buffer is on, read and checked against the window's digest
// (handed out in digest) with publicKey (the configured key when null).
PackageVerdict judgeTrailer(PartBuffer& buffer, const std::uint8_t* publicKey,
                            std::uint8_t* digest) {
  std::uint8_t trailer[trailerSize];
  if (buffer.readTrailer(digest, trailer) != ReadResult::Read) return PackageVerdict::Malformed;
  if (std::memcmp(trailer, digest, digestSize) != 0) return PackageVerdict::DigestMismatch;
  if (!checkSignature(digest, trailer, publicKey)) return PackageVerdict::BadSignature;
  return PackageVerdict::Accepted;
}

}  // namespace

PackageVerdict judgePackage(PartStream& stream, const TrustAnchors& trust, std::uint8_t* digest) {
  if (stream.currentType() != partSignature) {
    return stream.takeDigest(digest) == ReadResult::Read && isKnownDigest(digest, trust)
               ? PackageVerdict::Accepted
               : PackageVerdict::NoSignatureUnknownDigest;
  }
  const PackageVerdict verdict = judgeTrailer(stream.buffer(), trust.publicKey, digest);
  if (verdict == PackageVerdict::Accepted) stream.next();
  return verdict;
}

PackageVerdict acceptPackage(PartStream& stream, const TrustAnchors& trust) {
  std::uint8_t digest[digestSize];
  return judgePackage(stream, trust, digest);
}

PackageVerdict acceptPackage(PartStream& stream) {
  return acceptPackage(stream, configuredTrust());
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
  bool read = readHeaderParts(record, stream) == ReadResult::Read;
  if (read && record.isBundle && stream.currentType() == partDisabledMembers) {
    std::vector<Dependency> disabled;
    read = readListPart(stream, disabled) == ReadResult::Read;
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

// The package's verdict (judgePackage), kept in the report when there is one.
PackageVerdict acceptReported(PartStream& stream, const TrustAnchors& trust,
                              FileCheckReport* report) {
  std::uint8_t digest[digestSize];
  const PackageVerdict verdict = judgePackage(stream, trust, digest);
  if (report != nullptr) report->verdict = verdict;
  return verdict;
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
PackageVerdict refuseBinding(FileCheckReport* report) {
  if (report != nullptr) {
    report->verdict = PackageVerdict::BindingMismatch;
    report->name = report->firstName;
  }
  return PackageVerdict::BindingMismatch;
}

}  // namespace

PackageVerdict checkPackageFile(PartStream& stream, const TrustAnchors& trust,
                                CheckProgress progress, bool* bound, FileCheckReport* report) {
  stream.wanted.assign(std::begin(checkedTypes), std::end(checkedTypes));
  const bool bundle = stream.next() == partBundle;
  if (bundle && !passHeader(stream, report)) return PackageVerdict::Malformed;
  if (bundle && stream.currentType() == partImage) stream.next();
  // A bundle without a member is broken: its own parts would act unchecked.
  std::uint8_t expected[digestSize];
  if (expectedBinding(stream, expected) != ReadResult::Read) return PackageVerdict::Malformed;
  const BindingScope scope = bundle ? bundleFileBinding : packageFileBinding;
  BindingVerdict binding = BindingVerdict::PassedOver;
  for (bool first = true;; first = false) {
    if (bundle && stream.currentType() == -1) break;
    if (stream.currentType() != partPackage) return PackageVerdict::Malformed;
    if (!passHeader(stream, report)) return PackageVerdict::Malformed;
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
    const PackageVerdict verdict = acceptReported(stream, trust, report);
    if (verdict != PackageVerdict::Accepted) return verdict;
    if (binding == BindingVerdict::Differs) return refuseBinding(report);
    const std::uint32_t following = stream.partOffset() - (stream.currentType() == -1 ? 0 : 6);
    if (signedPackage && following != trailerEnd) return PackageVerdict::Malformed;
    // The stream ends right after the last package.
    if (!bundle) {
      if (stream.currentType() != -1) return PackageVerdict::Malformed;
      break;
    }
  }
  if (bound != nullptr) *bound = binding == BindingVerdict::Matches;
  return PackageVerdict::Accepted;
}

FileCheckReport checkPackageFileReported(PartStream& stream, const TrustAnchors& trust) {
  FileCheckReport report;
  const PackageVerdict verdict = checkPackageFile(stream, trust, {}, nullptr, &report);
  if (verdict != PackageVerdict::Accepted && report.verdict == PackageVerdict::Accepted) {
    report.verdict = PackageVerdict::Malformed;
    report.name = report.firstName;
  }
  return report;
}
