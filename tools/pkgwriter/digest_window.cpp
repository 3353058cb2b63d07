#include "pkgwriter/digest_window.h"

#include "pkgfile/sha1.h"
#include "pkgwriter/byte_order.h"
#include "pkgwriter/part_encoding.h"

namespace pkgwriter {

namespace {

const unsigned char* bytesOf(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

// Where the part at offset starts its successor; 0 when its header or payload
// is cut short.
std::size_t nextPart(std::string_view data, std::size_t offset, std::uint16_t& type) {
  if (data.size() - offset < partHeaderSize) return 0;
  type = loadU16(bytesOf(data) + offset);
  const std::uint64_t length = loadU32(bytesOf(data) + offset + 2);
  if (length > data.size() - offset - partHeaderSize) return 0;
  return offset + partHeaderSize + std::size_t(length);
}

// Window end of the package whose type-1 header is at start.
std::size_t windowEnd(std::string_view data, std::size_t start) {
  std::size_t offset = start;
  bool first = true;
  while (offset < data.size()) {
    if (data.size() - offset < partHeaderSize) return data.size();  // cut header: hashed to the end
    const std::uint16_t type = loadU16(bytesOf(data) + offset);
    if (type == HeaderPart && !first) return offset;
    if (type == TrailerPart) return offset + partHeaderSize;
    first = false;
    std::uint16_t ignored = 0;
    const std::size_t next = nextPart(data, offset, ignored);
    if (next == 0) return data.size();
    offset = next;
  }
  return data.size();
}

}  // namespace

Digest sha1(std::string_view bytes) {
  static_assert(std::tuple_size_v<Digest> == SHA1::digestSize);
  Digest out{};
  SHA1 hash;
  hash.update(bytes.data(), bytes.size());
  hash.digest(out.data());
  return out;
}

std::size_t digestWindowLength(std::string_view body) { return windowEnd(body, 0); }

Digest digestWindow(std::string_view body) { return sha1(body.substr(0, windowEnd(body, 0))); }

std::vector<Digest> packageDigests(std::string_view file) {
  std::vector<Digest> digests;
  if (file.size() < fileHeaderSize) return digests;
  std::size_t offset = fileHeaderSize;
  while (offset < file.size()) {
    std::uint16_t type = 0;
    const std::size_t next = nextPart(file, offset, type);
    if (type == HeaderPart && file.size() - offset >= partHeaderSize) {
      const std::size_t end = windowEnd(file, offset);
      digests.push_back(sha1(file.substr(offset, end - offset)));
    }
    if (next == 0) break;
    offset = next;
  }
  return digests;
}

std::string hexDigest(const Digest& digest) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t byte : digest) {
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 15]);
  }
  return out;
}

}  // namespace pkgwriter
