// SHA-1 digests of package digest windows. A package's window runs from the
// first byte of its type-1 part header to, whichever comes first: the end of
// its type-9 part header (inclusive), the next type-1 part header (exclusive),
// or the end of the data. The 8-byte file header, a bundle's leading parts and
// the trailer payload lie in no window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pkgwriter {

using Digest = std::array<std::uint8_t, 20>;

Digest sha1(std::string_view bytes);

// Window of the package whose type-1 part header starts body.
Digest digestWindow(std::string_view body);

// Length in bytes of that window.
std::size_t digestWindowLength(std::string_view body);

// One digest per type-1 part of a whole file (file header included), in file
// order. Parts whose declared length runs past the end end the walk.
std::vector<Digest> packageDigests(std::string_view file);

// 40 lowercase hex digits.
std::string hexDigest(const Digest& digest);

}  // namespace pkgwriter
