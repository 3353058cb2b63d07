#include "pkgwriter/part_encoding.h"

#include "pkgwriter/byte_order.h"

namespace pkgwriter {

std::string encodeFileHeader(std::uint32_t magic, std::uint32_t length) {
  std::string out;
  appendU32(out, magic);
  appendU32(out, length);
  return out;
}

std::string encodePartHeader(std::uint16_t type, std::uint32_t length) {
  std::string out;
  appendU16(out, type);
  appendU32(out, length);
  return out;
}

std::string encodePart(std::uint16_t type, std::string_view payload) {
  std::string out = encodePartHeader(type, std::uint32_t(payload.size()));
  out.append(payload);
  return out;
}

std::string encodeName(std::string_view name) {
  std::string out(name.substr(0, nameFieldSize));
  out.resize(nameFieldSize, '\0');
  return out;
}

std::string encodeHeaderPayload(std::string_view name, std::uint32_t version,
                                std::uint32_t buildTime, bool withFlags, std::uint32_t flags) {
  std::string out = encodeName(name);
  appendU32(out, version);
  appendU32(out, buildTime);
  out.append(8, '\0');
  if (withFlags) appendU32(out, flags);
  return out;
}

std::string encodeListEntry(const ListEntry& entry) {
  std::string out = encodeName(entry.name);
  appendU32(out, entry.min);
  appendU32(out, entry.unused);
  appendU32(out, entry.max);
  appendU32(out, std::uint32_t(entry.extra));
  return out;
}

std::string encodeListPayload(const std::vector<ListEntry>& entries) {
  std::string out;
  appendU16(out, std::uint16_t(entries.size()));
  for (const ListEntry& entry : entries) out += encodeListEntry(entry);
  return out;
}

std::string encodeParts(const std::vector<RawPart>& parts) {
  std::string out;
  for (const RawPart& part : parts) out += encodePart(part.type, part.payload);
  return out;
}

}  // namespace pkgwriter
