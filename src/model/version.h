// Packed release numbers and the text forms in which messages name packages.
#pragma once

#include <cstdint>
#include <string>

// A release packed into 32 bits so that unsigned comparison orders releases:
// major (bits 31..24), minor (23..16), kind letter (15..8: 'a' alpha, 'b' beta,
// 'c' release candidate, 'f' final) and build (7..0).
using Version = std::uint32_t;

enum VersionKind : std::uint8_t {
  Alpha = 'a',            // 0x61
  Beta = 'b',             // 0x62
  ReleaseCandidate = 'c', // 0x63
  Final = 'f',            // 0x66
};

constexpr Version makeVersion(unsigned major, unsigned minor, unsigned kind, unsigned build) {
  return (Version(major & 0xFF) << 24) | (Version(minor & 0xFF) << 16) |
         (Version(kind & 0xFF) << 8) | Version(build & 0xFF);
}
constexpr unsigned versionMajor(Version v) { return v >> 24; }
constexpr unsigned versionMinor(Version v) { return (v >> 16) & 0xFF; }
constexpr unsigned versionKind(Version v) { return (v >> 8) & 0xFF; }
constexpr unsigned versionBuild(Version v) { return v & 0xFF; }

// A record whose version and build time both hold this value is a placeholder
// without a real release.
constexpr std::uint32_t placeholderRelease = 0xFFFFFFFF;

// "6.41", "6.41.3", "6.42beta5", "6.42rc", "3.20rc1"; a kind byte other than
// a/b/c/f has an empty kind text.
std::string versionText(Version version);
// Byte-wise, case-sensitive, equal lengths.
bool namesEqual(const std::string& a, const std::string& b);
