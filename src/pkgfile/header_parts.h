// The parts that describe a package (header, texts, relation lists, the image
// flag) read into a Package record, and the loader of a staged package file.
#pragma once

#include <string>
#include <vector>

#include "model/package.h"
#include "pkgfile/read_result.h"

class PartStream;

// A package or bundle header part: the fixed fields (name, version, build
// time), then a flag word when the part is long enough to hold one.
constexpr std::uint32_t packageHeaderLength = 32;
constexpr std::uint32_t flagWordLength = 4;

// Texts longer than this are cut; the rest of the part is passed over.
constexpr std::uint32_t maxTextPartLength = 64 * 1024;

// Fills package from a stream positioned on a type-1 or type-18 part, taking
// the optional parts 24, 16, 2, 23, 3, 19, 17 in that order, and stopping on
// (without consuming) a type-21 part, which marks an image package. The stream
// is left on the first part not taken. NotRead when the header is short, its
// name is refused (nameRefusal, for a package), or a list part fails.
[[nodiscard]] ReadResult readHeaderParts(Package& package, PartStream& stream);

// Appends the entries of a list part (u16 count, 32-byte entries) to list.
// NotRead when the part holds fewer entries than its count, or an entry's name
// is refused (nameRefusal, for a relation); the entries read so far stay
// appended.
[[nodiscard]] ReadResult readListPart(PartStream& stream, std::vector<Dependency>& list);

// Walks the package file at path (through file.descriptor when that is open,
// from its start), filling file and, for a bundle, its members. NotRead when
// the file's size differs from its header's length, when a header cannot be
// read, or when a bundle has no members.
[[nodiscard]] ReadResult loadPackageFile(PackageFile& file, const std::string& path);
