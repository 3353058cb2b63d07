// The rule by which a package read through a hashing PartStream is accepted:
// a signature trailer that verifies, or else a digest found in the table of
// known packages.
#pragma once

#include <cstdint>

#include "sign/signature.h"

class PartStream;

// Called after a package's other parts were read or passed over, with the
// stream on the first part the caller does not handle itself. On a trailer
// part the signature must verify (with publicKey, or the configured signer key
// when null) and the stream then advances past it; otherwise (the next
// package's header or the end) the finished digest must be a known one.
bool acceptPackage(PartStream& stream, const std::uint8_t* publicKey = nullptr);

// The same rule against other trust anchors (a key and a known-digest table).
bool acceptPackage(PartStream& stream, const TrustAnchors& trust);
