#include "pkgfile/header_parts.h"

#include <sys/stat.h>

#include <algorithm>

#include "files/device_root.h"
#include "pkgfile/byte_order.h"
#include "pkgfile/package_names.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/regular_file.h"

namespace {

constexpr std::size_t nameFieldLength = 16;
constexpr std::size_t listEntryLength = 32;

// The bytes up to the first NUL, or all 16 when there is none.
std::string nameAt(const unsigned char* b) {
  const auto* end = std::find(b, b + nameFieldLength, 0);
  return std::string(reinterpret_cast<const char*>(b), std::size_t(end - b));
}

bool readFixed(PartStream& stream, unsigned char* out, std::size_t length) {
  stream.read(reinterpret_cast<char*>(out), std::streamsize(length));
  return !stream.fail();
}

// The whole payload of the current part (cut at maxTextPartLength), then on to
// the next part. A short read keeps what came and fails the stream, which ends
// the walk.
void readTextPart(PartStream& stream, std::string& text) {
  text.assign(std::min(stream.partLength(), maxTextPartLength), '\0');
  stream.read(text.data(), std::streamsize(text.size()));
  text.resize(std::size_t(stream.gcount()));
  stream.next();
}

}  // namespace

ReadResult readListPart(PartStream& stream, std::vector<Dependency>& list) {
  unsigned char countBytes[2];
  if (!readFixed(stream, countBytes, sizeof countBytes)) return ReadResult::NotRead;
  const unsigned count = load16le(countBytes);
  for (unsigned i = 0; i < count; ++i) {
    unsigned char entry[listEntryLength];
    if (!readFixed(stream, entry, sizeof entry)) return ReadResult::NotRead;
    Dependency dependency;
    dependency.name = nameAt(entry);
    if (nameRefusal(dependency.name, NameUse::Relation) != nullptr) return ReadResult::NotRead;
    dependency.min = load32le(entry + 16);
    dependency.max = load32le(entry + 24);
    dependency.extra = std::int32_t(load32le(entry + 28));
    list.push_back(std::move(dependency));
  }
  return ReadResult::Read;
}

ReadResult readHeaderParts(Package& package, PartStream& stream) {
  const int type = stream.currentType();
  if (type != partPackage && type != partBundle) return ReadResult::NotRead;
  package.isBundle = type == partBundle;

  unsigned char header[packageHeaderLength];
  if (!readFixed(stream, header, sizeof header)) return ReadResult::NotRead;
  // A refused name is not stored: a record keeps the name it was made with
  // (the loader's directory name), so no path is ever built from it.
  std::string name = nameAt(header);
  if (nameRefusal(name, NameUse::Package) != nullptr) return ReadResult::NotRead;
  package.name = std::move(name);
  package.version = load32le(header + 16);
  package.buildTime = load32le(header + 20);
  // The flag word is there when the header part holds 4 more bytes. This asks
  // the part, not how much the input happens to have buffered, which would
  // lose the flags of a header that straddles a buffer boundary.
  unsigned char flags[flagWordLength];
  if (stream.buffer().remaining() >= sizeof flags && readFixed(stream, flags, sizeof flags)) {
    package.flags = load32le(flags);
  }

  stream.next();
  if (stream.currentType() == partText24) readTextPart(stream, package.text24);
  if (stream.currentType() == partArchitecture) {
    readTextPart(stream, package.architecture);
  } else {
    package.architecture = "i386";
  }
  if (stream.currentType() == partText2) readTextPart(stream, package.text2);
  if (stream.currentType() == partNote) readTextPart(stream, package.note);

  const std::pair<int, std::vector<Dependency>*> lists[] = {
      {partDependencies, &package.deps},
      {partProvides, &package.provides},
      {partConflicts, &package.conflicts},
  };
  for (const auto& [listType, list] : lists) {
    if (stream.currentType() != listType) continue;
    if (readListPart(stream, *list) != ReadResult::Read) return ReadResult::NotRead;
    stream.next();
  }

  if (stream.currentType() == partImage) package.isImage = true;
  return ReadResult::Read;
}

ReadResult loadPackageFile(PackageFile& file, const std::string& path) {
  file.path = path;
  file.foundPath = path;
  const bool open = file.descriptor >= 0;
  RegularFileStream input = open ? RegularFileStream(file.descriptor) : RegularFileStream(path);
  PartStream stream(input, true);
  file.length = stream.totalLength();

  struct stat status;
  const DevicePlace at = devicePlace(path.c_str());
  const int statResult =
      open ? ::fstat(file.descriptor, &status) : ::fstatat(at.dir, at.name, &status, 0);
  if (statResult == 0 && std::uint64_t(status.st_size) != stream.totalLength())
    return ReadResult::NotRead;
  file.alternateMagic = stream.isAlternateMagic();

  stream.wanted = {partBundle,       partPackage, partText24,    partArchitecture, partText2,
                   partNote,         partDependencies, partProvides, partConflicts, partImage};
  stream.next();
  file.isBundle = stream.currentType() == partBundle;
  if (readHeaderParts(file, stream) != ReadResult::Read) return ReadResult::NotRead;
  if (!file.isBundle) return ReadResult::Read;

  if (stream.currentType() == partImage) stream.next();
  while (stream.currentType() == partPackage) {
    auto member = std::make_unique<Package>();
    if (readHeaderParts(*member, stream) != ReadResult::Read) return ReadResult::NotRead;
    file.members.push_back(std::move(member));
    if (stream.currentType() == partImage) stream.next();
  }
  return file.members.empty() ? ReadResult::NotRead : ReadResult::Read;
}
