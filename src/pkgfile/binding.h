// The binding: a part in the first package of a file, inside that package's
// digest window, that carries the digest of the bytes no digest window covers
// before it: the 8-byte file header (magic and length) and, in a bundle, the
// bundle's own parts. Signing the first package then covers them as well.
//
// Payload, 24 bytes: u32 scope (1 a package file, 2 a bundle file), then the
// SHA-1 of the file header as stored followed by the 20-byte SHA-1 of the
// bytes between the file header and the first package header part (nothing,
// in a package file). A binding part of another length or of the other
// scope binds nothing and is passed over: a signed package keeps its own
// binding when it is bundled unchanged, and the bundle is then unbound.
#pragma once

#include <cstdint>

#include "pkgfile/read_result.h"

class PartStream;

enum BindingScope : std::uint32_t {
  packageFileBinding = 1,
  bundleFileBinding = 2,
};

constexpr std::uint32_t bindingPayloadSize = 24;

// The digest a binding of the file must carry: from the file header's fields
// and the digest of the bytes between it and the first package header.
void bindingDigest(std::uint32_t magic, std::uint32_t length, const std::uint8_t* leadingDigest,
                   std::uint8_t* out);

// On the file's first package header, with the digest of what stood before
// that header not yet taken: the digest the file's binding must carry (out,
// 20 bytes). NotRead when the stream is not on a package header or that digest
// was taken already.
[[nodiscard]] ReadResult expectedBinding(PartStream& stream, std::uint8_t* out);

enum class BindingVerdict { PassedOver, Matches, Differs };

// Reads the current (binding) part of stream, of a file of scope: PassedOver
// when it binds nothing in such a file, else whether it carries expected.
BindingVerdict readBinding(PartStream& stream, BindingScope scope, const std::uint8_t* expected);
