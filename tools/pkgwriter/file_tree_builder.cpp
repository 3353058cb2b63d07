#include "pkgwriter/file_tree_builder.h"

#include <zlib.h>

#include "pkgwriter/byte_order.h"

namespace pkgwriter {

std::string encodeTreeEntry(std::uint16_t mode, std::string_view name, std::string_view data,
                            const EntryAttributes& attributes) {
  std::string out;
  out.reserve(treeEntryHeaderSize + name.size() + data.size());
  appendU16(out, mode);
  appendU16(out, attributes.uid);
  appendU16(out, attributes.gid);
  out.append(2, '\0');
  appendU32(out, attributes.time);
  out.append(11, '\0');
  appendU8(out, attributes.variant);
  appendU32(out, std::uint32_t(data.size()));
  appendU16(out, std::uint16_t(name.size()));
  out.append(name);
  out.append(data);
  return out;
}

std::string zlibCompress(std::string_view data, int level) {
  z_stream z{};
  if (deflateInit(&z, level) != Z_OK) return {};
  std::string out(deflateBound(&z, uLong(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = uInt(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  const int result = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return result == Z_STREAM_END ? out : std::string();
}

namespace {
std::string deviceNumber(std::uint32_t device) {
  std::string out;
  appendU32(out, device);
  return out;
}
}  // namespace

FileTreeBuilder& FileTreeBuilder::addRaw(std::uint16_t mode, std::string_view name,
                                         std::string_view data, const EntryAttributes& attributes) {
  raw_ += encodeTreeEntry(mode, name, data, attributes);
  ++entries_;
  return *this;
}

FileTreeBuilder& FileTreeBuilder::addFile(std::string_view name, std::string_view contents,
                                          std::uint16_t permissions,
                                          const EntryAttributes& attributes) {
  return addRaw(std::uint16_t(regularType | (permissions & 07777)), name, contents, attributes);
}

FileTreeBuilder& FileTreeBuilder::addDirectory(std::string_view name, std::uint16_t permissions,
                                               const EntryAttributes& attributes) {
  return addRaw(std::uint16_t(directoryType | (permissions & 07777)), name, {}, attributes);
}

FileTreeBuilder& FileTreeBuilder::addSymlink(std::string_view name, std::string_view target,
                                             const EntryAttributes& attributes) {
  return addRaw(std::uint16_t(symlinkType | 0777), name, target, attributes);
}

FileTreeBuilder& FileTreeBuilder::addCharDevice(std::string_view name, std::uint32_t device,
                                                std::uint16_t permissions,
                                                const EntryAttributes& attributes) {
  return addRaw(std::uint16_t(charDeviceType | (permissions & 07777)), name, deviceNumber(device),
                attributes);
}

FileTreeBuilder& FileTreeBuilder::addBlockDevice(std::string_view name, std::uint32_t device,
                                                 std::uint16_t permissions,
                                                 const EntryAttributes& attributes) {
  return addRaw(std::uint16_t(blockDeviceType | (permissions & 07777)), name, deviceNumber(device),
                attributes);
}

FileTreeBuilder& FileTreeBuilder::addFifo(std::string_view name, std::uint16_t permissions,
                                          const EntryAttributes& attributes) {
  return addRaw(std::uint16_t(fifoType | (permissions & 07777)), name, {}, attributes);
}

FileTreeBuilder& FileTreeBuilder::addBytes(std::string_view bytes) {
  raw_.append(bytes);
  return *this;
}

}  // namespace pkgwriter
