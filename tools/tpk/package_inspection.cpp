#include "tpk/package_inspection.h"

#include <sstream>

#include "pkgfile/header_parts.h"
#include "pkgfile/inflate_stream.h"
#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/package_builder.h"
#include "tpk/file_io.h"

namespace tpk {

const char* verdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::Accepted:
      return "ok";
    case Verdict::NoSignatureUnknownDigest:
      return "no signature and unknown digest";
    case Verdict::DigestMismatch:
      return "digest mismatch";
    case Verdict::BadSignature:
      return "bad signature";
    case Verdict::Malformed:
      return "malformed file";
  }
  return "malformed file";
}

namespace {

constexpr std::size_t maxLinkTarget = 65536;

std::uint32_t le32(const unsigned char* b) {
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
         std::uint32_t(b[3]) << 24;
}

}  // namespace

std::string scanLayout(const std::string& bytes, InspectedFile& file) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < 8) return "shorter than a file header";
  file.magic = le32(b);
  file.lengthField = le32(b + 4);
  if (file.magic != 0xBAD0F11Eu && file.magic != 0xA1100FFBu) return "unknown file magic";
  if (std::uint64_t(file.lengthField) + 8 != bytes.size())
    return "the file header's length does not match the file size";
  std::size_t offset = 8;
  while (offset < bytes.size()) {
    if (bytes.size() - offset < 6) return "a part header is cut short";
    LayoutPart part;
    part.type = std::uint16_t(b[offset] | b[offset + 1] << 8);
    part.offset = std::uint32_t(offset);
    part.length = le32(b + offset + 2);
    if (part.length > bytes.size() - offset - 6) return "a part runs past the end of the file";
    file.parts.push_back(part);
    offset += 6 + part.length;
  }
  return {};
}

namespace {

// Passes over count bytes of the tree; false when it ends first. The steps fit
// a streamsize, which holds 31 bits where size_t has 32.
bool skipTreeBytes(std::istream& tree, std::uint32_t count) {
  constexpr std::uint32_t step = 1u << 30;
  while (count > 0) {
    const std::uint32_t now = count < step ? count : step;
    tree.ignore(std::streamsize(now));
    if (tree.gcount() != std::streamsize(now)) return false;
    count -= now;
  }
  return true;
}

void readTree(PartStream& stream, InspectedPackage& package) {
  package.hasTree = true;
  InflateStream z(stream);
  for (;;) {
    unsigned char header[30];
    z.read(reinterpret_cast<char*>(header), sizeof header);
    if (z.gcount() != std::streamsize(sizeof header)) return;
    InspectedEntry e;
    e.mode = std::uint16_t(header[0] | header[1] << 8);
    e.uid = std::uint16_t(header[2] | header[3] << 8);
    e.gid = std::uint16_t(header[4] | header[5] << 8);
    e.time = le32(header + 8);
    e.variant = header[23];
    e.size = le32(header + 24);
    const std::size_t nameLength = std::size_t(header[28] | header[29] << 8);
    e.name.assign(nameLength, '\0');
    z.read(e.name.data(), std::streamsize(nameLength));
    if (std::size_t(z.gcount()) != nameLength) {
      package.treeBroken = true;
      return;
    }
    const unsigned type = e.mode & 0xF000u;
    if (type == 0xA000u && e.size <= maxLinkTarget) {
      e.target.assign(e.size, '\0');
      z.read(e.target.data(), std::streamsize(e.size));
      if (z.gcount() != std::streamsize(e.size)) package.treeBroken = true;
    } else if ((type == 0x2000u || type == 0x6000u) && e.size == 4) {
      unsigned char device[4];
      z.read(reinterpret_cast<char*>(device), 4);
      if (z.gcount() != 4) package.treeBroken = true;
      e.device = le32(device);
    } else {
      if (type != 0x8000u && type != 0x4000u && type != 0x1000u) package.treeBroken = true;
      if (!skipTreeBytes(z, e.size)) package.treeBroken = true;
    }
    package.tree.push_back(std::move(e));
    if (package.treeBroken) return;
  }
}

std::string readScript(PartStream& stream, const char* name) {
  return std::string(name) + " (" + std::to_string(stream.partLength()) + " bytes)";
}

// Why a package with a trailer was refused: its window digest against the
// trailer's copy.
Verdict trailerVerdict(const std::string& bytes, const InspectedPackage& package) {
  for (const LayoutPart& part : package.parts) {
    if (part.type != 9) continue;
    if (part.length < 68) return Verdict::Malformed;
    const std::string copy = bytes.substr(part.offset + 6, 20);
    return copy == std::string(package.digest.begin(), package.digest.end())
               ? Verdict::BadSignature
               : Verdict::DigestMismatch;
  }
  return Verdict::BadSignature;
}

// The binding as the installer's check judges it, from the bytes: only a
// 24-byte binding part of the file's own scope in its first package counts.
BindingState bindingState(const std::string& bytes, const InspectedFile& file) {
  const std::size_t first = pkgwriter::firstPackageOffset(bytes);
  if (first == 0) return BindingState::None;
  const std::string leading = bytes.substr(8, first - 8);
  const std::uint32_t scope = file.parts.front().type == 18 ? pkgwriter::bundleBindingScope
                                                            : pkgwriter::packageBindingScope;
  const pkgwriter::Digest leadingDigest = pkgwriter::sha1(leading);
  const pkgwriter::Digest expected =
      pkgwriter::sha1(bytes.substr(0, 8) + std::string(leadingDigest.begin(), leadingDigest.end()));
  BindingState state = BindingState::None;
  for (const InspectedPackage& package : file.packages) {
    if (package.isBundleHeader) continue;
    for (const LayoutPart& part : package.parts) {
      if (part.type != pkgwriter::BindingPart || part.length != pkgwriter::bindingPayloadSize ||
          le32(reinterpret_cast<const unsigned char*>(bytes.data()) + part.offset + 6) != scope)
        continue;
      if (bytes.compare(part.offset + 10, expected.size(),
                        std::string(expected.begin(), expected.end())) != 0)
        return BindingState::Differs;
      state = BindingState::Matches;
    }
    break;
  }
  return state;
}

}  // namespace

bool inspectFile(const std::string& path, const std::uint8_t* publicKey, InspectedFile& file,
                 std::string& error) {
  std::string bytes;
  if (!readWholeFile(path, bytes, error)) return false;
  file.path = path;
  file.size = bytes.size();
  file.problem = scanLayout(bytes, file);
  if (!file.problem.empty()) return true;

  std::istringstream input(bytes);
  PartStream stream(input, true);
  stream.wanted = {1, 2, 3, 4, 7, 8, 9, 16, 17, 18, 19, 20, 21, 23, 24};
  int type = stream.next();
  if (type != 1 && type != 18) {
    file.problem = "the first part is not a package or bundle header";
    return true;
  }
  // Each package's own parts, from the layout: a package owns the parts from
  // its header to the next header.
  std::size_t layoutIndex = 0;
  auto takeLayout = [&](InspectedPackage& package) {
    std::size_t i = layoutIndex;
    package.parts.push_back(file.parts[i++]);
    while (i < file.parts.size() && file.parts[i].type != 1)
      package.parts.push_back(file.parts[i++]);
    layoutIndex = i;
  };
  while (layoutIndex < file.parts.size() && file.parts[layoutIndex].type != 1 &&
         file.parts[layoutIndex].type != 18)
    ++layoutIndex;

  const std::vector<pkgwriter::Digest> digests = pkgwriter::packageDigests(bytes);
  std::size_t packageCount = 0;
  InspectedPackage* current = nullptr;
  bool checked = true;
  for (;;) {
    // A package without a trailer ends at the next header or the end.
    if ((type == 1 || type == -1) && !checked) {
      checked = true;
      current->verdict =
          acceptPackage(stream, publicKey) ? Verdict::Accepted : Verdict::NoSignatureUnknownDigest;
    }
    if (type == -1) break;
    if (type == 1 || type == 18) {
      if (type == 18 && !file.packages.empty()) {
        file.problem = "a bundle header after the first part";
        return true;
      }
      file.packages.emplace_back();
      current = &file.packages.back();
      current->isBundleHeader = type == 18;
      takeLayout(*current);
      if (type == 1) {
        current->digest =
            packageCount < digests.size() ? digests[packageCount] : pkgwriter::Digest{};
        ++packageCount;
        checked = false;
      }
      if (!readHeaderParts(current->record, stream)) {
        file.problem =
            "the header of package " + std::to_string(file.packages.size()) + " cannot be read";
        return true;
      }
      type = stream.currentType();
      continue;
    }
    switch (type) {
      case 20:
        if (current->isBundleHeader) {
          current->hasDefaultDisabled = true;
          if (!readListPart(stream, current->defaultDisabled)) {
            file.problem = "the default-disabled list is cut short";
            return true;
          }
        }
        break;
      case 7:
        current->scripts.push_back(readScript(stream, "oninstall"));
        break;
      case 8:
        current->scripts.push_back(readScript(stream, "onuninstall"));
        break;
      case 4:
        readTree(stream, *current);
        break;
      case 9:
        if (!checked) {
          current->hasTrailer = true;
          checked = true;
          if (acceptPackage(stream, publicKey)) {
            current->verdict = Verdict::Accepted;
            type = stream.currentType();
            continue;
          }
          current->verdict = trailerVerdict(bytes, *current);
        }
        break;
      default:
        break;
    }
    type = stream.next();
  }
  if (packageCount == 0) file.problem = "a bundle without members";
  file.binding = bindingState(bytes, file);
  return true;
}

}  // namespace tpk
