// The rule by which a package read through a hashing PartStream is accepted:
// a signature trailer that verifies, or else a digest found in the table of
// known packages; and the check of a whole package file by that rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sign/signature.h"

class PartStream;

// Why a package (or a package file) was accepted or refused. The calls that
// judge report nothing: the caller reports a refusal.
enum class PackageVerdict {
  Accepted,                  // the signature verifies, or the digest is a known one
  NoSignatureUnknownDigest,  // no trailer, and the digest is not in the table
  DigestMismatch,            // the trailer's copy of the digest is not the window's
  BadSignature,              // the copy matches; the signature does not verify
  Malformed,                 // a trailer too short to hold a signature, a broken file
  BindingMismatch,           // the first package's binding is not the file's
};

// Called after a package's other parts were read or passed over, with the
// stream on the first part the caller does not handle itself. On a trailer
// part the signature must verify with the configured signer key and the
// stream then advances past it; otherwise (the next package's header or the
// end) the finished digest must be one of the configured known digests.
// Accepted, or why the package was refused (judgePackage).
[[nodiscard]] PackageVerdict acceptPackage(PartStream& stream);

// The same rule against other trust anchors (a key and a known-digest table).
[[nodiscard]] PackageVerdict acceptPackage(PartStream& stream, const TrustAnchors& trust);

// acceptPackage that also hands out the digest of the package's window
// (digestSize bytes, left as they are when no window was finished). A refused
// trailer leaves the stream on the trailer part.
[[nodiscard]] PackageVerdict judgePackage(PartStream& stream, const TrustAnchors& trust,
                                          std::uint8_t* digest);

// Told after each block of a payload that checkPackageFile reads: the position
// reached in the file and the file's total length, as a progress bar takes
// them. update may be null.
struct CheckProgress {
  void (*update)(void* context, std::uint32_t position, std::uint32_t total) = nullptr;
  void* context = nullptr;
};

// Which package of a file the check refused, and why.
struct FileCheckReport {
  PackageVerdict verdict = PackageVerdict::Accepted;
  std::size_t packages = 0;  // packages (bundle members) reached, a refused one included
  std::string firstName;     // of the file's first header (the bundle's); empty when unread
  // Of the last package whose header was read (as far as it was); after
  // checkPackageFileReported, of the package it refused (firstName for a
  // fault of the file itself).
  std::string name;
};

// The upgrade run's check of a package file, on a hashing stream built over it
// and not yet advanced: the package, or every member of a bundle (at least
// one), must be a header followed by its payloads (file tree, image: read in
// blocks of 4096 bytes, with progress told after each) and then by a signature
// trailer that verifies, or else have a known digest (acceptPackage). The file
// must end right after its last package, and a trailer must be followed at once
// by the next member's header: any part there is outside every digest window.
// A bundle's own parts may hold one image part; a signature part or another
// payload among them breaks it. Parts of other types before a package's
// payloads or trailer are passed over (they are inside its digest window).
// A binding in the first package (binding.h) that does not match the file
// breaks it; bound, when given, receives whether one matched.
// Accepted when the file passes; otherwise the refused package's own verdict
// (judgePackage), BindingMismatch, or Malformed for a file that breaks these
// rules, as checkPackageFileReported reports them. Reports nothing.
// With a report, each header is also read as the header reader reads it, and
// a bundle's default-disabled list as the planner reads it (one they refuse
// breaks the file), and the report is filled in as checkPackageFileReported
// describes.
[[nodiscard]] PackageVerdict checkPackageFile(PartStream& stream, const TrustAnchors& trust,
                                              CheckProgress progress = {}, bool* bound = nullptr,
                                              FileCheckReport* report = nullptr);

// checkPackageFile with its report: a package's own verdict when one was
// refused; BindingMismatch, under the file's first header name, when the
// first package was accepted but its binding differs; else Malformed for a
// file that breaks the check's rules (a bundle without members included).
// The stream is left where the check stopped.
FileCheckReport checkPackageFileReported(PartStream& stream, const TrustAnchors& trust);
