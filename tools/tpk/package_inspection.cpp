#include "tpk/package_inspection.h"

#include <sstream>
#include <utility>

#include "pkgfile/binding.h"
#include "pkgfile/byte_order.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/inflate_stream.h"
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
    case Verdict::BindingMismatch:
      return "binding mismatch";
  }
  return "malformed file";
}

bool hasFlagWord(const InspectedPackage& p) {
  return !p.parts.empty() && p.parts.front().length >= packageHeaderLength + flagWordLength;
}

std::string layoutProblem(std::size_t size, const PartStream& stream, InspectedFile& file) {
  if (size < fileHeaderSize) return "shorter than a file header";
  file.magic = stream.magic();
  file.lengthField = stream.totalLength() - fileHeaderSize;
  if (file.magic != packageMagic && file.magic != alternatePackageMagic)
    return "unknown file magic";
  if (std::uint64_t(file.lengthField) + fileHeaderSize != size)
    return "the file header's length does not match the file size";
  std::uint64_t end = fileHeaderSize;
  for (const LayoutPart& part : file.parts) {
    end = std::uint64_t(part.offset) + partHeaderSize + part.length;
    if (end > size) return "a part runs past the end of the file";
  }
  return end < size ? "a part header is cut short" : "";
}

std::string scanLayout(const std::string& bytes, InspectedFile& file) {
  std::istringstream input(bytes);
  PartStream stream(input, false);
  stream.places = &file.parts;
  stream.next();  // wanting nothing, it passes over every part to the end
  return layoutProblem(bytes.size(), stream, file);
}

namespace {

constexpr std::size_t maxLinkTarget = 65536;

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

// Reads count bytes of the tree into text; false when it ends first.
bool readTreeText(std::istream& tree, std::string& text, std::size_t count) {
  text.assign(count, '\0');
  tree.read(text.data(), std::streamsize(count));
  return std::size_t(tree.gcount()) == count;
}

// The data of an entry: a link's target, a device's number, or passed over.
// False when the tree ends inside it or the entry's type is unknown.
bool readEntryData(std::istream& tree, InspectedEntry& e) {
  const std::uint16_t type = e.type();
  if (type == symlinkType && e.size <= maxLinkTarget) return readTreeText(tree, e.target, e.size);
  if ((type == charDeviceType || type == blockDeviceType) && e.size == deviceNumberSize) {
    unsigned char device[deviceNumberSize];
    tree.read(reinterpret_cast<char*>(device), sizeof device);
    e.device = load32le(device);
    return tree.gcount() == std::streamsize(sizeof device);
  }
  const bool known = type == regularType || type == directoryType || type == fifoType;
  return skipTreeBytes(tree, e.size) && known;
}

void readTree(PartStream& stream, InspectedPackage& package) {
  package.hasTree = true;
  InflateStream tree(stream);
  for (;;) {
    unsigned char header[treeEntryHeaderSize];
    tree.read(reinterpret_cast<char*>(header), sizeof header);
    if (tree.gcount() != std::streamsize(sizeof header)) return;
    InspectedEntry e;
    static_cast<TreeEntryHeader&>(e) = decodeTreeEntryHeader(header);
    if (!readTreeText(tree, e.name, e.nameLength)) {
      package.treeBroken = true;
      return;
    }
    package.treeBroken = !readEntryData(tree, e);
    package.tree.push_back(std::move(e));
    if (package.treeBroken) return;
  }
}

std::string scriptText(PartStream& stream, const char* name) {
  return std::string(name) + " (" + std::to_string(stream.partLength()) + " bytes)";
}

// The binding state after a binding part judged verdict.
BindingState bindingState(BindingVerdict verdict, BindingState before) {
  switch (verdict) {
    case BindingVerdict::Matches:
      return BindingState::Matches;
    case BindingVerdict::Differs:
      return BindingState::Differs;
    case BindingVerdict::PassedOver:
      break;
  }
  return before;
}

// The walk of a file's packages: each header through the header reader, the
// parts tpk shows, and each package's verdict when its window ends (at its
// trailer, the next package or the end), and the first package's binding as
// the file check judges it. Empty, or the problem that ended it.
std::string walkPackages(PartStream& stream, const TrustAnchors& trust, InspectedFile& file) {
  stream.wanted = {partPackage,         partBundle,   partText24,          partArchitecture,
                   partText2,           partNote,     partDependencies,    partProvides,
                   partConflicts,       partImage,    partDisabledMembers, partInstallScript,
                   partUninstallScript, partFileTree, partBinding,         partSignature};
  int type = stream.next();
  if (type != partPackage && type != partBundle)
    return "the first part is not a package or bundle header";
  const BindingScope scope = type == partBundle ? bundleFileBinding : packageFileBinding;
  std::uint8_t expected[digestSize] = {};
  InspectedPackage* current = nullptr;
  bool judged = true;
  std::size_t packageCount = 0;
  for (;;) {
    if ((type == partPackage || type == -1) && !judged) {
      judged = true;
      current->verdict = judgePackage(stream, trust, current->digest.data());
    }
    if (type == -1) break;
    if (type == partPackage || type == partBundle) {
      if (type == partBundle && !file.packages.empty())
        return "a bundle header after the first part";
      current = &file.packages.emplace_back();
      current->isBundleHeader = type == partBundle;
      if (type == partPackage) {
        if (packageCount == 0) (void)expectedBinding(stream, expected);
        ++packageCount;
        judged = false;
      }
      if (readHeaderParts(current->record, stream) != ReadResult::Read)
        return "the header of package " + std::to_string(file.packages.size()) + " cannot be read";
      type = stream.currentType();
      continue;
    }
    switch (type) {
      case partDisabledMembers:
        if (current->isBundleHeader) {
          current->hasDefaultDisabled = true;
          if (readListPart(stream, current->defaultDisabled) != ReadResult::Read)
            return "the default-disabled list is cut short";
        }
        break;
      case partInstallScript:
        current->scripts.push_back(scriptText(stream, "oninstall"));
        break;
      case partUninstallScript:
        current->scripts.push_back(scriptText(stream, "onuninstall"));
        break;
      case partFileTree:
        readTree(stream, *current);
        break;
      case partBinding:
        if (packageCount == 1 && !current->isBundleHeader && file.binding != BindingState::Differs)
          file.binding = bindingState(readBinding(stream, scope, expected), file.binding);
        break;
      case partSignature:
        if (!judged) {
          current->hasTrailer = true;
          judged = true;
          current->verdict = judgePackage(stream, trust, current->digest.data());
          if (current->verdict == Verdict::Accepted) {
            type = stream.currentType();
            continue;
          }
        }
        break;
      default:
        break;
    }
    type = stream.next();
  }
  return packageCount == 0 ? "a bundle without members" : "";
}

// A package owns the parts from its header to the next package header; parts
// before the first header belong to none.
void assignParts(InspectedFile& file) {
  const auto header = [&](std::size_t i) {
    return file.parts[i].type == partPackage || file.parts[i].type == partBundle;
  };
  std::size_t i = 0;
  while (i < file.parts.size() && !header(i)) ++i;
  for (InspectedPackage& package : file.packages) {
    if (i == file.parts.size()) return;
    package.parts.push_back(file.parts[i++]);
    while (i < file.parts.size() && file.parts[i].type != partPackage)
      package.parts.push_back(file.parts[i++]);
  }
}

}  // namespace

bool inspectFile(const std::string& path, const std::uint8_t* publicKey, InspectedFile& file,
                 std::string& error) {
  std::string bytes;
  if (!readWholeFile(path, bytes, error)) return false;
  file.path = path;
  file.size = bytes.size();
  std::istringstream input(std::move(bytes));  // the file is held once
  PartStream stream(input, true);
  stream.places = &file.parts;
  TrustAnchors trust = configuredTrust();
  if (publicKey != nullptr) trust.publicKey = publicKey;
  const std::string walkProblem = walkPackages(stream, trust, file);
  finishLayout(stream);
  file.problem = layoutProblem(file.size, stream, file);
  if (file.problem.empty()) file.problem = walkProblem;
  assignParts(file);
  return true;
}

void finishLayout(PartStream& stream) {
  stream.clear();
  stream.wanted.clear();
  stream.next();
}

}  // namespace tpk
