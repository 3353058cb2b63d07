// The building blocks of a package file: the 8-byte file header, typed parts
// (u16 type, u32 payload length, payload) and the fixed payload layouts of the
// header and list parts. Every function here only encodes; nothing validates,
// so tests can produce malformed input on purpose.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pkgwriter {

// Part type codes.
enum PartType : std::uint16_t {
  HeaderPart = 1,
  Text2Part = 2,
  DepsPart = 3,
  FileTreePart = 4,
  OnInstallPart = 7,
  OnUninstallPart = 8,
  TrailerPart = 9,
  ArchitecturePart = 16,
  ConflictsPart = 17,
  BundleHeaderPart = 18,
  ProvidesPart = 19,
  DefaultDisabledPart = 20,
  ImagePart = 21,
  NotePart = 23,
  Text24Part = 24,
  BindingPart = 25,
};

// The scope word that opens a binding part's payload: what the binding binds.
constexpr std::uint32_t packageBindingScope = 1;  // a package file's header
constexpr std::uint32_t bundleBindingScope = 2;   // a bundle file's header and own parts

constexpr std::uint32_t standardMagic = 0xBAD0F11E;
constexpr std::uint32_t alternateMagic = 0xA1100FFB;

constexpr std::size_t fileHeaderSize = 8;
constexpr std::size_t partHeaderSize = 6;
constexpr std::size_t nameFieldSize = 16;
constexpr std::size_t headerPayloadSize = 32;  // without the optional flag word
constexpr std::size_t listEntrySize = 32;
constexpr std::size_t trailerPayloadSize = 68;
constexpr std::size_t bindingPayloadSize = 24;  // scope word, SHA-1

// Header flag bits.
constexpr std::uint32_t bootImageFlag = 1;
constexpr std::uint32_t imageMetaFlag = 2;

// One entry of a list part (dependencies, provides, conflicts, default-disabled).
struct ListEntry {
  std::string name;       // cut to 16 bytes, NUL-padded
  std::uint32_t min = 0;  // 0: no lower bound
  std::uint32_t max = 0;  // 0: no upper bound
  std::int32_t extra = 0;
  std::uint32_t unused = 0;  // bytes 20-23, never read by the installer
};

// A part given as its type and payload, written as is.
struct RawPart {
  std::uint16_t type = 0;
  std::string payload;
};

// magic, then length (the number of bytes after these 8).
std::string encodeFileHeader(std::uint32_t magic, std::uint32_t length);

// u16 type, u32 length of payload, payload.
std::string encodePart(std::uint16_t type, std::string_view payload);
// Only the 6-byte part header, for a declared length that need not match.
std::string encodePartHeader(std::uint16_t type, std::uint32_t length);

// A name cut to 16 bytes and NUL-padded.
std::string encodeName(std::string_view name);

// Payload of a type-1 or type-18 part: name, version, build time, 8 zero
// bytes, and the flag word when withFlags (36 bytes instead of 32).
std::string encodeHeaderPayload(std::string_view name, std::uint32_t version,
                                std::uint32_t buildTime, bool withFlags = false,
                                std::uint32_t flags = 0);

// Payload of a list part: u16 count, then one 32-byte entry per item.
std::string encodeListEntry(const ListEntry& entry);
std::string encodeListPayload(const std::vector<ListEntry>& entries);

// Concatenation of encoded parts.
std::string encodeParts(const std::vector<RawPart>& parts);

}  // namespace pkgwriter
