#include "pkgwriter/package_builder.h"

#include "pkgwriter/byte_order.h"

namespace pkgwriter {

namespace {

void addText(std::vector<RawPart>& parts, std::uint16_t type,
             const std::optional<std::string>& text) {
  if (text) parts.push_back({type, *text});
}

void addList(std::vector<RawPart>& parts, std::uint16_t type,
             const std::optional<std::vector<ListEntry>>& list) {
  if (list) parts.push_back({type, encodeListPayload(*list)});
}

void addHeaderParts(std::vector<RawPart>& parts, std::uint16_t headerType, const HeaderLayout& layout) {
  parts.push_back(
      {headerType, encodeHeaderPayload(layout.name, layout.version, layout.buildTime,
                                       layout.flags.has_value(), layout.flags.value_or(0))});
  addText(parts, Text24Part, layout.text24);
  addText(parts, ArchitecturePart, layout.architecture);
  addText(parts, Text2Part, layout.text2);
  addText(parts, NotePart, layout.note);
  addList(parts, DepsPart, layout.deps);
  addList(parts, ProvidesPart, layout.provides);
  addList(parts, ConflictsPart, layout.conflicts);
  addText(parts, ImagePart, layout.image);
}

}  // namespace

std::vector<RawPart> packageParts(const PackageLayout& layout) {
  std::vector<RawPart> parts;
  addHeaderParts(parts, HeaderPart, layout);
  addText(parts, OnInstallPart, layout.onInstall);
  addText(parts, OnUninstallPart, layout.onUninstall);
  addText(parts, FileTreePart, layout.fileTree);
  parts.insert(parts.end(), layout.extraParts.begin(), layout.extraParts.end());
  return parts;
}

std::vector<RawPart> bundleParts(const BundleLayout& layout) {
  std::vector<RawPart> parts;
  addHeaderParts(parts, BundleHeaderPart, layout);
  addList(parts, DefaultDisabledPart, layout.defaultDisabled);
  parts.insert(parts.end(), layout.extraParts.begin(), layout.extraParts.end());
  return parts;
}

std::string signBody(std::string_view unsignedBody, const TrailerSigner& signer) {
  std::string body(unsignedBody);
  body += encodePartHeader(TrailerPart, trailerPayloadSize);
  std::string trailer;
  if (!signer || !signer(digestWindow(body), trailer) || trailer.size() != trailerPayloadSize)
    return {};
  return body + trailer;
}

std::string buildPackageBody(const PackageLayout& layout) {
  const std::string body = encodeParts(packageParts(layout));
  if (layout.trailer) return body + encodePart(TrailerPart, *layout.trailer);
  if (layout.signer) return signBody(body, layout.signer);
  return body;
}

std::string buildBundleBody(const BundleLayout& layout) {
  std::string body = encodeParts(bundleParts(layout));
  for (const std::string& member : layout.members) body += member;
  return body;
}

std::string wrapFile(std::string_view body, std::uint32_t magic) {
  return encodeFileHeader(magic, std::uint32_t(body.size())) + std::string(body);
}

namespace {

// The parts of a body one by one: calls visit(type, whole part); stops at a
// part cut short.
template <typename Visit>
void forEachPart(std::string_view body, Visit visit) {
  const auto* b = reinterpret_cast<const unsigned char*>(body.data());
  for (std::size_t at = 0; body.size() - at >= partHeaderSize;) {
    const std::uint64_t length = loadU32(b + at + 2);
    if (length > body.size() - at - partHeaderSize) return;
    const std::size_t size = partHeaderSize + std::size_t(length);
    if (!visit(loadU16(b + at), at, body.substr(at, size))) return;
    at += size;
  }
}

}  // namespace

std::string unsignedBody(std::string_view body) {
  std::string out;
  forEachPart(body, [&out](std::uint16_t type, std::size_t, std::string_view part) {
    if (type == TrailerPart) return false;
    if (type != BindingPart) out.append(part);
    return true;
  });
  return out;
}

std::size_t firstPackageOffset(std::string_view file) {
  if (file.size() < fileHeaderSize) return 0;
  std::size_t found = 0;
  forEachPart(file.substr(fileHeaderSize),
              [&found](std::uint16_t type, std::size_t at, std::string_view) {
                if (type == HeaderPart) found = fileHeaderSize + at;
                return found == 0;
              });
  return found;
}

std::string bindFile(std::string_view leading, std::string_view firstUnsigned,
                     const TrailerSigner& signer, std::string_view rest, std::uint32_t scope,
                     std::uint32_t magic) {
  const std::size_t trailer = signer ? partHeaderSize + trailerPayloadSize : 0;
  const std::size_t length = leading.size() + firstUnsigned.size() + partHeaderSize +
                             bindingPayloadSize + trailer + rest.size();
  const std::string header = encodeFileHeader(magic, std::uint32_t(length));
  const Digest leadingDigest = sha1(leading);
  std::string bound = header;
  bound.append(reinterpret_cast<const char*>(leadingDigest.data()), leadingDigest.size());
  const Digest binding = sha1(bound);
  std::string payload;
  appendU32(payload, scope);
  payload.append(reinterpret_cast<const char*>(binding.data()), binding.size());
  std::string first = std::string(firstUnsigned) + encodePart(BindingPart, payload);
  if (signer) first = signBody(first, signer);
  if (first.empty()) return {};
  return header + std::string(leading) + first + std::string(rest);
}

std::string buildPackageFile(const PackageLayout& layout, std::uint32_t magic) {
  if (layout.bound && !layout.trailer)
    return bindFile({}, encodeParts(packageParts(layout)), layout.signer, {}, packageBindingScope,
                    magic);
  const std::string body = buildPackageBody(layout);
  if (body.empty()) return {};
  return wrapFile(body, magic);
}

std::string buildBundleFile(const BundleLayout& layout, std::uint32_t magic) {
  for (const std::string& member : layout.members)
    if (member.empty()) return {};
  if (layout.binder && !layout.members.empty()) {
    std::string rest;
    for (std::size_t i = 1; i < layout.members.size(); ++i) rest += layout.members[i];
    return bindFile(encodeParts(bundleParts(layout)), unsignedBody(layout.members[0]),
                    layout.binder, rest, bundleBindingScope, magic);
  }
  return wrapFile(buildBundleBody(layout), magic);
}

}  // namespace pkgwriter
