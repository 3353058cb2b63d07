#include "pkgwriter/package_builder.h"

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

std::string buildPackageFile(const PackageLayout& layout, std::uint32_t magic) {
  const std::string body = buildPackageBody(layout);
  if (body.empty()) return {};
  return wrapFile(body, magic);
}

std::string buildBundleFile(const BundleLayout& layout, std::uint32_t magic) {
  for (const std::string& member : layout.members)
    if (member.empty()) return {};
  return wrapFile(buildBundleBody(layout), magic);
}

}  // namespace pkgwriter
