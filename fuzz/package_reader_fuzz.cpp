// Feeds arbitrary bytes to everything that reads a package file. The first
// byte of the input picks the read pattern, the rest is the package:
//   bit 0     hashing on (off: the stream skips by seeking the source, as the
//             database loader reads images)
//   bit 1     a tee copies what is read (the stream then skips by reading)
//   bits 2-3  how payloads are read: 0 bulk reads in chunks, 1 single-byte
//             operations (peek, get, unget, putback, in_avail), 2 seeks inside
//             the part, 3 not at all (next() passes over them)
//   bit 4     headers go through loadPackageFile on a temporary file as well
//   bits 5-7  the chunk size of bulk reads
// Three walks run over the package:
// - a raw walk over every part that checks what the stream hands out against
//   the input: payload bytes, end-of-part, the tee's copy and the digest;
// - the header walk of the loader (bundles and members), compared between
//   hashing on and off, and with loadPackageFile;
// - the installer's walk: image payloads passed over, scripts read in chunks,
//   the file tree decompressed and its entries parsed, the acceptance rule;
// and the file check with its report is held to the check without one.
// A mismatch aborts. Built as a libFuzzer target with -DINSTALLER_FUZZ=ON
// (clang), and as a replay program that the tests run over the corpus.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "model/package.h"
#include "pkgfile/byte_order.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/inflate_stream.h"
#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/sha1.h"
#include "pkgfile/tree_entry.h"

namespace {

struct Mode {
  bool hashing;
  bool tee;
  int payloads;  // 0 bulk, 1 single bytes, 2 seeks, 3 unread
  bool viaFile;
  std::streamsize chunk;
};

Mode modeOf(std::uint8_t byte) {
  static constexpr std::streamsize chunks[] = {1, 2, 3, 7, 32, 33, 4096, 70000};
  return {(byte & 1) != 0, (byte & 2) != 0, (byte >> 2) & 3, (byte & 16) != 0, chunks[byte >> 5]};
}

// An in-memory input that seeks as a file does, whatever the open mode asked:
// a string buffer opened for input alone refuses a relative seek asked for
// "in | out", so the stream's seek-based skipping would never be reached.
struct MemoryInput : std::stringbuf {
  explicit MemoryInput(const std::string& bytes) : std::stringbuf(bytes, std::ios_base::in) {}
  pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode) override {
    return std::stringbuf::seekoff(offset, way, std::ios_base::in);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode) override {
    return std::stringbuf::seekpos(position, std::ios_base::in);
  }
};

std::uint32_t u32At(const std::string& bytes, std::size_t at) {
  return load32le(reinterpret_cast<const unsigned char*>(bytes.data() + at));
}

// What the stream must hand out from here on: the rest of the part as far as
// the input goes.
std::string expectedRest(const std::string& bytes, const PartStream& stream, std::uint32_t at) {
  const std::size_t from = std::size_t(stream.partOffset()) + at;
  if (from >= bytes.size()) return {};
  return bytes.substr(from, stream.partLength() - at);
}

void readBulk(PartStream& stream, const std::string& bytes, std::streamsize chunk) {
  std::string got;
  std::string buffer(std::size_t(chunk), '\0');
  while (stream.read(buffer.data(), chunk) || stream.gcount() > 0) {
    got.append(buffer, 0, std::size_t(stream.gcount()));
    if (!stream) break;
  }
  CHECK(got == expectedRest(bytes, stream, 0));
  stream.clear();
}

void readBytes(PartStream& stream, const std::string& bytes) {
  const std::string expected = expectedRest(bytes, stream, 0);
  std::string got;
  for (;;) {
    const std::streamsize available = stream.rdbuf()->in_avail();
    CHECK(available >= 0 && std::size_t(available) <= expected.size() - got.size());
    const int c = stream.peek();
    if (c == std::char_traits<char>::eof()) break;
    CHECK(got.size() < expected.size() && char(c) == expected[got.size()]);
    CHECK(stream.get() == c);
    got += char(c);
    // Every byte given back must come again, by a single-byte or a bulk read,
    // hashed and teed only once.
    char again = 0;
    if (got.size() % 3 == 1) {
      CHECK(stream.unget() && stream.read(&again, 1) && again == char(c));
    } else if (got.size() % 3 == 2) {
      CHECK(stream.putback(char(c)) && stream.get() == c);
    }
  }
  CHECK(got == expected);
  stream.clear();
  // At the start of a part nothing can be given back.
  if (got.empty()) CHECK(!stream.unget());
  stream.clear();
}

void readWithSeeks(PartStream& stream, const std::string& bytes, bool seeksSource) {
  const std::uint32_t length = stream.partLength();
  const bool whole = std::uint64_t(stream.partOffset()) + length <= bytes.size();
  const std::uint32_t middle = length / 2;
  if (stream.seekg(middle)) {
    CHECK(std::uint32_t(stream.tellg()) == middle);
    std::string rest(length - middle, '\0');
    stream.read(rest.data(), std::streamsize(rest.size()));
    rest.resize(std::size_t(stream.gcount()));
    CHECK(rest == expectedRest(bytes, stream, middle));
  } else {
    CHECK(!whole);
  }
  stream.clear();
  // Counted back from the end; only a stream that seeks its source can go back.
  const bool back = bool(stream.seekg(std::streamoff(length - middle), std::ios_base::end));
  if (whole) CHECK(back == (seeksSource || middle == length));
  stream.clear();
  if (back) {
    const std::string rest = expectedRest(bytes, stream, middle);
    const int c = stream.peek();
    if (!rest.empty()) CHECK(c == static_cast<unsigned char>(rest[0]));
  }
  stream.clear();
  // Exactly to the end of the part.
  const bool toEnd = bool(stream.seekg(length));
  if (whole) CHECK(toEnd);
  if (toEnd) CHECK(stream.peek() == std::char_traits<char>::eof());
  stream.clear();
}

// Where the part structure of the input ends (after the last whole part) and
// where its last digest window starts (the last type-1 header); end 0 when the
// input ends inside a part or has no valid file header.
struct Layout {
  std::size_t end = 0;
  std::size_t windowStart = 8;
};

Layout layoutOf(const std::string& bytes) {
  Layout layout;
  if (bytes.size() < fileHeaderSize) return layout;
  const std::uint32_t magic = u32At(bytes, 0);
  if (magic != packageMagic && magic != alternatePackageMagic) return layout;
  std::size_t at = fileHeaderSize;
  while (bytes.size() - at >= partHeaderSize) {
    const auto* header = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    if (load16le(header) == partPackage) layout.windowStart = at;
    // In 64 bits: a part length near 4 GiB must not wrap a 32-bit size_t.
    const std::uint64_t next = std::uint64_t(at) + partHeaderSize + load32le(header + 2);
    if (next > bytes.size()) return layout;
    at = static_cast<std::size_t>(next);
  }
  layout.end = at;
  return layout;
}

void walkParts(const std::string& bytes, const Mode& mode) {
  MemoryInput source(bytes);
  std::istream input(&source);
  std::stringbuf tee;
  PartStream stream(input, mode.hashing, mode.tee ? &tee : nullptr);
  // Types past 32 are passed over inside next().
  for (std::uint32_t type = 0; type <= 32; ++type) stream.wanted.push_back(type);
  int parts = 0;
  while (stream.next() != -1 && ++parts < 4096) {
    switch (mode.payloads) {
      case 0:
        readBulk(stream, bytes, mode.chunk);
        break;
      case 1:
        readBytes(stream, bytes);
        break;
      case 2:
        readWithSeeks(stream, bytes, !mode.hashing && !mode.tee);
        break;
      default:
        break;
    }
  }
  const Layout layout = layoutOf(bytes);
  if (layout.end == 0 || parts >= 4096) return;
  const std::string teed = tee.str();
  if (mode.tee) CHECK(teed == bytes.substr(0, layout.end));
  if (!mode.hashing) return;
  std::uint8_t digest[SHA1::digestSize];
  CHECK(stream.takeDigest(digest) == ReadResult::Read);
  std::uint8_t expected[SHA1::digestSize];
  SHA1 sha;
  sha.update(bytes.data() + layout.windowStart, layout.end - layout.windowStart);
  sha.digest(expected);
  CHECK(std::memcmp(digest, expected, sizeof digest) == 0);
}

std::string recordText(const Package& p) {
  std::string text = p.name + ' ' + std::to_string(p.version) + ' ' + std::to_string(p.buildTime) +
                     ' ' + std::to_string(p.flags) + '|' + p.text24 + '|' + p.architecture + '|' +
                     p.text2 + '|' + p.note + '|' + (p.isImage ? "image" : "") +
                     (p.isBundle ? "bundle" : "");
  for (const auto* list : {&p.deps, &p.provides, &p.conflicts}) {
    text += '[';
    for (const Dependency& d : *list) {
      text += d.name + ':' + std::to_string(d.min) + ':' + std::to_string(d.max) + ':' +
              std::to_string(d.extra) + ' ';
    }
    text += ']';
  }
  for (const auto& member : p.members) text += '{' + recordText(*member) + '}';
  return text;
}

// The header walk of loadPackageFile over memory; returns its result and
// fills file as it does.
bool readHeaders(const std::string& bytes, bool hashing, PackageFile& file) {
  MemoryInput source(bytes);
  std::istream input(&source);
  PartStream stream(input, hashing);
  stream.wanted = {partBundle, partPackage,      partText24,   partArchitecture, partText2,
                   partNote,   partDependencies, partProvides, partConflicts,    partImage};
  stream.next();
  file.isBundle = stream.currentType() == partBundle;
  if (readHeaderParts(file, stream) != ReadResult::Read) return false;
  if (!file.isBundle) return true;
  if (stream.currentType() == partImage) stream.next();
  while (stream.currentType() == partPackage) {
    auto member = std::make_unique<Package>();
    if (readHeaderParts(*member, stream) != ReadResult::Read) return false;
    file.members.push_back(std::move(member));
    if (stream.currentType() == partImage) stream.next();
  }
  return !file.members.empty();
}

void compareHeaderReads(const std::string& bytes, bool viaFile) {
  PackageFile hashed;
  PackageFile seeking;
  const bool read = readHeaders(bytes, true, hashed);
  CHECK(read == readHeaders(bytes, false, seeking));
  CHECK(recordText(hashed) == recordText(seeking));
  if (!viaFile) return;
  char path[] = "/tmp/package_reader_fuzz.XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return;
  const bool written = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
  ::close(fd);
  PackageFile loaded;
  const bool loadedOk = written && loadPackageFile(loaded, path) == ReadResult::Read;
  ::unlink(path);
  if (!written) return;
  // loadPackageFile also refuses a file whose size differs from its header's.
  const bool sized = bytes.size() >= 8 && u32At(bytes, 4) + std::uint64_t(8) == bytes.size();
  CHECK(loadedOk == (read && sized));
  if (loadedOk) CHECK(recordText(loaded) == recordText(hashed));
}

// The entries of a file tree: a 30-byte header, the name, then the data.
void readTree(PartStream& stream) {
  InflateStream tree(stream);
  char chunk[4096];
  for (int entries = 0; entries < 4096 && tree; ++entries) {
    unsigned char bytes[treeEntryHeaderSize];
    tree.read(reinterpret_cast<char*>(bytes), sizeof bytes);
    if (tree.gcount() != std::streamsize(sizeof bytes)) return;
    const TreeEntryHeader header = decodeTreeEntryHeader(bytes);
    std::string name(header.nameLength, '\0');
    tree.read(name.data(), std::streamsize(name.size()));
    if (header.type() == regularType) {
      for (std::uint32_t left = header.size; left > 0 && tree;) {
        const std::uint32_t ask = left < sizeof chunk ? left : std::uint32_t(sizeof chunk);
        tree.read(chunk, ask);
        left -= ask;
      }
    } else {
      tree.seekg(header.size, std::ios_base::cur);
    }
  }
}

void installWalk(const std::string& bytes) {
  MemoryInput source(bytes);
  std::istream input(&source);
  std::stringbuf tee;
  PartStream stream(input, true, &tee);
  stream.wanted = {partPackage,      partBundle,        partDisabledMembers, partArchitecture,
                   partDependencies, partProvides,      partConflicts,       partImage,
                   partFileTree,     partInstallScript, partUninstallScript, partSignature};
  stream.next();
  for (int packages = 0; packages < 64 && stream.currentType() != -1; ++packages) {
    Package package;
    if (readHeaderParts(package, stream) != ReadResult::Read) return;
    if (package.isBundle) {
      if (stream.currentType() == partImage) stream.next();
      if (stream.currentType() == partDisabledMembers) {
        std::vector<Dependency> disabled;
        (void)readListPart(stream, disabled);
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
    if (acceptPackage(stream) != PackageVerdict::Accepted) return;
  }
}

// The file check with its report and without: reading the headers as well
// may refuse a file the check accepts (malformed), never the other way.
void compareFileChecks(const std::string& bytes) {
  MemoryInput plainSource(bytes), reportedSource(bytes);
  std::istream plainInput(&plainSource), reportedInput(&reportedSource);
  PartStream plain(plainInput, true), reported(reportedInput, true);
  const bool accepted = checkPackageFile(plain, configuredTrust()) == PackageVerdict::Accepted;
  const FileCheckReport report = checkPackageFileReported(reported, configuredTrust());
  if (!accepted) CHECK(report.verdict != PackageVerdict::Accepted);
  if (accepted && report.verdict != PackageVerdict::Accepted)
    CHECK(report.verdict == PackageVerdict::Malformed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Mode mode = modeOf(data[0]);
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  walkParts(bytes, mode);
  compareHeaderReads(bytes, mode.viaFile);
  installWalk(bytes);
  compareFileChecks(bytes);
  return 0;
}
