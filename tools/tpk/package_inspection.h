// Reads a package file the way the installer does, for tpk info and contents:
// one walk of the installer's part stream yields the part layout, the header
// parts through its header reader, the file tree through its decompressing
// stream and tree entry decoder, and every package's (each bundle member's)
// digest and verdict through its acceptance rule.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "model/package.h"
#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/tree_entry.h"
#include "pkgwriter/digest_window.h"

namespace tpk {

using LayoutPart = PartPlace;

struct InspectedEntry : TreeEntryHeader {
  std::string name;
  std::string target;        // symbolic links
  std::uint32_t device = 0;  // character and block devices
};

using Verdict = PackageVerdict;
const char* verdictText(Verdict verdict);

struct InspectedPackage {
  Package record;  // header fields as the installer reads them
  bool isBundleHeader = false;
  bool hasDefaultDisabled = false;
  std::vector<Dependency> defaultDisabled;  // bundles
  std::vector<LayoutPart> parts;            // its own parts, header first
  std::vector<std::string> scripts;         // "oninstall (N bytes)" ...
  bool hasTree = false;
  bool treeBroken = false;
  std::vector<InspectedEntry> tree;
  bool hasTrailer = false;
  pkgwriter::Digest digest{};  // of its digest window (packages only)
  Verdict verdict = Verdict::Malformed;
};

// What the binding part of a file's first package says of the file header
// and a bundle's own parts: none counts, it matches them, or it does not.
enum class BindingState { None, Matches, Differs };

struct InspectedFile {
  std::string path;
  std::uint32_t magic = 0;
  std::uint32_t lengthField = 0;
  std::size_t size = 0;
  std::vector<LayoutPart> parts;
  // Empty when the file is well formed; otherwise the first problem found.
  std::string problem;
  std::deque<InspectedPackage> packages;  // a bundle header first, then its members
  BindingState binding = BindingState::None;
};

// Whether the header part of p holds the flag word after the fixed fields.
bool hasFlagWord(const InspectedPackage& p);

// Walks the rest of a stream whose places are listed, to its end.
void finishLayout(PartStream& stream);

// The problem of a file of size bytes whose walk listed file.parts to its end
// (magic, lengthField filled in from stream); empty when its parts tile it
// exactly after a valid file header.
std::string layoutProblem(std::size_t size, const PartStream& stream, InspectedFile& file);

// The part headers of a whole file, which must tile it exactly after a valid
// file header; fills magic, lengthField and parts. Empty when well formed,
// else the problem.
std::string scanLayout(const std::string& bytes, InspectedFile& file);

// Reads the file at path. publicKey (32 bytes, null for the configured key)
// checks the signatures. False only when the file cannot be read at all
// (error says why); a malformed file gives true with problem set.
bool inspectFile(const std::string& path, const std::uint8_t* publicKey, InspectedFile& file,
                 std::string& error);

}  // namespace tpk
