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

void addHeaderParts(std::vector<RawPart>& parts, std::uint16_t headerType, const HeaderSpec& spec) {
  parts.push_back(
      {headerType, encodeHeaderPayload(spec.name, spec.version, spec.buildTime,
                                       spec.flags.has_value(), spec.flags.value_or(0))});
  addText(parts, Text24Part, spec.text24);
  addText(parts, ArchitecturePart, spec.architecture);
  addText(parts, Text2Part, spec.text2);
  addText(parts, NotePart, spec.note);
  addList(parts, DepsPart, spec.deps);
  addList(parts, ProvidesPart, spec.provides);
  addList(parts, ConflictsPart, spec.conflicts);
  addText(parts, ImagePart, spec.image);
}

}  // namespace

std::vector<RawPart> packageParts(const PackageSpec& spec) {
  std::vector<RawPart> parts;
  addHeaderParts(parts, HeaderPart, spec);
  addText(parts, OnInstallPart, spec.onInstall);
  addText(parts, OnUninstallPart, spec.onUninstall);
  addText(parts, FileTreePart, spec.fileTree);
  parts.insert(parts.end(), spec.extraParts.begin(), spec.extraParts.end());
  return parts;
}

std::vector<RawPart> bundleParts(const BundleSpec& spec) {
  std::vector<RawPart> parts;
  addHeaderParts(parts, BundleHeaderPart, spec);
  addList(parts, DefaultDisabledPart, spec.defaultDisabled);
  parts.insert(parts.end(), spec.extraParts.begin(), spec.extraParts.end());
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

std::string buildPackageBody(const PackageSpec& spec) {
  const std::string body = encodeParts(packageParts(spec));
  if (spec.trailer) return body + encodePart(TrailerPart, *spec.trailer);
  if (spec.signer) return signBody(body, spec.signer);
  return body;
}

std::string buildBundleBody(const BundleSpec& spec) {
  std::string body = encodeParts(bundleParts(spec));
  for (const std::string& member : spec.members) body += member;
  return body;
}

std::string wrapFile(std::string_view body, std::uint32_t magic) {
  return encodeFileHeader(magic, std::uint32_t(body.size())) + std::string(body);
}

std::string buildPackageFile(const PackageSpec& spec, std::uint32_t magic) {
  const std::string body = buildPackageBody(spec);
  if (body.empty()) return {};
  return wrapFile(body, magic);
}

std::string buildBundleFile(const BundleSpec& spec, std::uint32_t magic) {
  for (const std::string& member : spec.members)
    if (member.empty()) return {};
  return wrapFile(buildBundleBody(spec), magic);
}

}  // namespace pkgwriter
