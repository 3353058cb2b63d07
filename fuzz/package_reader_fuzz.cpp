// Feeds arbitrary bytes to everything that reads a package file: the loader's
// header walk (bundles and members), and the installer's walk over the rest of
// each package — image payloads passed over, scripts read in chunks, the file
// tree decompressed and its entries parsed, the acceptance rule at the end.
// Built as a libFuzzer target with -DINSTALLER_FUZZ=ON (clang), and as a
// replay program that the tests run over the sample packages.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "model/package.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/inflate_stream.h"
#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"

namespace {

void readHeaders(const std::string& bytes) {
  std::istringstream input(bytes);
  PartStream stream(input, true);
  stream.wanted = {partBundle,       partPackage,  partText24,    partArchitecture, partText2,
                   partNote,         partDependencies, partProvides, partConflicts,  partImage};
  stream.next();
  PackageFile file;
  if (!readHeaderParts(file, stream) || !file.isBundle) return;
  if (stream.currentType() == partImage) stream.next();
  while (stream.currentType() == partPackage) {
    Package member;
    if (!readHeaderParts(member, stream)) return;
    if (stream.currentType() == partImage) stream.next();
  }
}

// The entries of a file tree: a 30-byte header, the name, then the data.
void readTree(PartStream& stream) {
  InflateStream tree(stream);
  char chunk[4096];
  for (int entries = 0; entries < 4096 && tree; ++entries) {
    unsigned char header[30];
    tree.read(reinterpret_cast<char*>(header), sizeof header);
    if (tree.gcount() != std::streamsize(sizeof header)) return;
    const std::uint32_t size = std::uint32_t(header[24]) | std::uint32_t(header[25]) << 8 |
                               std::uint32_t(header[26]) << 16 | std::uint32_t(header[27]) << 24;
    const std::size_t nameLength = std::size_t(header[28]) | std::size_t(header[29]) << 8;
    std::string name(nameLength, '\0');
    tree.read(name.data(), std::streamsize(nameLength));
    if ((header[1] & 0xF0) == 0x80) {
      for (std::uint32_t left = size; left > 0 && tree;) {
        const std::uint32_t ask = left < sizeof chunk ? left : std::uint32_t(sizeof chunk);
        tree.read(chunk, ask);
        left -= ask;
      }
    } else {
      tree.seekg(size, std::ios_base::cur);
    }
  }
}

void installWalk(const std::string& bytes) {
  std::istringstream input(bytes);
  std::stringbuf tee;
  PartStream stream(input, true, &tee);
  stream.wanted = {partPackage, partBundle, partDisabledMembers, partArchitecture,
                   partDependencies, partProvides, partConflicts, partImage, partFileTree,
                   partInstallScript, partUninstallScript, partSignature};
  stream.next();
  for (int packages = 0; packages < 64 && stream.currentType() != -1; ++packages) {
    Package package;
    if (!readHeaderParts(package, stream)) return;
    if (package.isBundle) {
      if (stream.currentType() == partImage) stream.next();
      if (stream.currentType() == partDisabledMembers) {
        std::vector<Dependency> disabled;
        readListPart(stream, disabled);
        stream.next();
      }
      continue;
    }
    if (stream.currentType() == partImage) {
      while (stream.partLength() - std::uint32_t(stream.tellg()) > 0 && stream) {
        const std::uint32_t left = stream.partLength() - std::uint32_t(stream.tellg());
        stream.seekg(left < 4096 ? left : 4096, std::ios_base::cur);
      }
      stream.next();
    }
    for (int script : {partInstallScript, partUninstallScript}) {
      if (stream.currentType() != script) continue;
      char chunk[4096];
      while (stream.read(chunk, sizeof chunk)) {
      }
      stream.clear(stream.rdstate() & ~(std::ios_base::failbit | std::ios_base::eofbit));
      stream.next();
    }
    if (stream.currentType() == partFileTree) {
      readTree(stream);
      stream.next();
    }
    if (!acceptPackage(stream)) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  readHeaders(bytes);
  installWalk(bytes);
  return 0;
}
