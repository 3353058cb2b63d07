// Builds whole packages and bundles from a description of their content.
//
// A package body (everything from its type-1 part on) has its parts in the
// order the installer takes them:
//   1 header, 24 text24, 16 architecture, 2 text2, 23 note, 3 deps,
//   19 provides, 17 conflicts, 21 image, 7 oninstall, 8 onuninstall,
//   4 file tree, the extra raw parts, 25 binding, 9 signature trailer.
// Each optional part is written only when its field is set. For malformed or
// out-of-order input, take packageParts(), edit the vector and encode it with
// encodeParts() (part_encoding.h).
//
//   pkgwriter::PackageLayout layout;
//   layout.name = "tool"; layout.version = makeVersion(1, 0, 'f', 0); layout.buildTime = 1700000000;
//   layout.fileTree = pkgwriter::FileTreeBuilder().addFile("bin/tool", "...", 0755).compressed();
//   layout.signer = keyFileSigner(path);  // or layout.trailer = bytes; or neither: unsigned
//   std::string file = pkgwriter::buildPackageFile(layout);
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pkgwriter/digest_window.h"
#include "pkgwriter/part_encoding.h"

namespace pkgwriter {

// Makes the 68-byte trailer payload for a digest; false when it cannot.
using TrailerSigner = std::function<bool(const Digest& digest, std::string& trailer)>;

// Header fields and texts shared by packages and bundles.
struct HeaderLayout {
  std::string name;  // cut to 16 bytes
  std::uint32_t version = 0;
  std::uint32_t buildTime = 0;
  std::optional<std::uint32_t> flags;  // set: 36-byte header with the flag word
  std::optional<std::string> text24, architecture, text2, note;
  std::optional<std::vector<ListEntry>> deps, provides, conflicts;
  std::optional<std::string> image;  // payload of the type-21 part
};

struct PackageLayout : HeaderLayout {
  std::optional<std::string> onInstall, onUninstall;  // script texts (types 7, 8)
  std::optional<std::string> fileTree;  // compressed tree payload (type 4), see FileTreeBuilder
  std::vector<RawPart> extraParts;      // after the file tree, before the trailer
  // The trailer: a given payload (written as is, of any length) wins over the
  // signer; with neither the package has no trailer.
  std::optional<std::string> trailer;
  TrailerSigner signer;
  // buildPackageFile binds the file header into the package (see bindFile),
  // unless a trailer is given; otherwise the file is as the writer made it
  // before bindings.
  bool bound = false;
};

struct BundleLayout : HeaderLayout {
  std::optional<std::vector<ListEntry>> defaultDisabled;  // type 20
  std::vector<RawPart> extraParts;   // after the type-20 part, before the members
  std::vector<std::string> members;  // member package bodies, from their type-1 part on
  // When set, buildBundleFile binds the file header and the bundle's own parts
  // into the first member, which it signs again with this signer; otherwise
  // the bundle is unbound, as bundles were made before bindings.
  TrailerSigner binder;
};

// The parts of a package, header to extra parts, without the trailer.
std::vector<RawPart> packageParts(const PackageLayout& layout);
// The leading parts of a bundle, without its members.
std::vector<RawPart> bundleParts(const BundleLayout& layout);

// A package body, from the type-1 part on, with its trailer when asked for.
// Empty when the signer fails.
std::string buildPackageBody(const PackageLayout& layout);
// Appends a trailer made by signer to an unsigned body (parts up to, not
// including, a trailer). Empty when the signer fails.
std::string signBody(std::string_view unsignedBody, const TrailerSigner& signer);

std::string buildBundleBody(const BundleLayout& layout);

// A file whose first package binds everything before its header: the file
// header (magic and the final length), then leading (a bundle's own parts,
// empty for a package file), then firstUnsigned (the first package's parts,
// without binding or trailer) with a binding part of scope added and signed by
// signer (no trailer when signer is empty), then rest (later members as they
// are). The binding payload is the scope (u32) and SHA-1(file header ||
// SHA-1(leading)). Empty when the signer fails.
std::string bindFile(std::string_view leading, std::string_view firstUnsigned,
                     const TrailerSigner& signer, std::string_view rest, std::uint32_t scope,
                     std::uint32_t magic = standardMagic);

// A package body without its trailer and without binding parts: the parts a
// new signature starts from.
std::string unsignedBody(std::string_view body);

// Offset of the first type-1 part header of a whole file; 0 when there is none.
std::size_t firstPackageOffset(std::string_view file);

// File header (magic, length of the body) followed by body.
std::string wrapFile(std::string_view body, std::uint32_t magic = standardMagic);

// Whole files. Empty when a signer fails.
std::string buildPackageFile(const PackageLayout& layout, std::uint32_t magic = standardMagic);
std::string buildBundleFile(const BundleLayout& layout, std::uint32_t magic = standardMagic);

}  // namespace pkgwriter
