// Builds the payload of a file-tree part (type 4): a sequence of entries,
// compressed as one zlib stream.
//
// Each entry is a 30-byte header (little-endian), the name, then the data:
//   0 u16 mode, 2 u16 uid, 4 u16 gid, 6 two zero bytes, 8 u32 time,
//   12 eleven zero bytes, 23 u8 variant, 24 u32 data size, 28 u16 name length.
// Data: a regular file's contents, a symbolic link's target, a device's u32
// device number; nothing for directories and FIFOs.
//
//   std::string tree = FileTreeBuilder()
//       .addDirectory("opt/tool", 0755, {.time = 1700000000})
//       .addFile("opt/tool/run", "#!/bin/sh\n", 0755, {.uid = 0, .gid = 50})
//       .addSymlink("opt/tool/r", "run")
//       .compressed();
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pkgfile/tree_entry.h"

namespace pkgwriter {

// The entry format is the installer's own.
using ::blockDeviceType;
using ::charDeviceType;
using ::directoryType;
using ::fifoType;
using ::regularType;
using ::symlinkType;
using ::treeEntryHeaderSize;

// Owner, time and device variant of an entry (all 0 by default).
struct EntryAttributes {
  std::uint16_t uid = 0;
  std::uint16_t gid = 0;
  std::uint32_t time = 0;
  std::uint8_t variant = 0;  // 0: every device
};

// One encoded entry: header, name, data. The size field is data.size().
std::string encodeTreeEntry(std::uint16_t mode, std::string_view name, std::string_view data,
                            const EntryAttributes& attributes);

// zlib format (header, deflate, Adler-32). Level 9 reproduces the samples.
std::string zlibCompress(std::string_view data, int level = 9);

class FileTreeBuilder {
 public:
  // Permission bits are the low 12 bits of permissions; the type is added.
  FileTreeBuilder& addFile(std::string_view name, std::string_view contents,
                           std::uint16_t permissions = 0644,
                           const EntryAttributes& attributes = {});
  FileTreeBuilder& addDirectory(std::string_view name, std::uint16_t permissions = 0755,
                                const EntryAttributes& attributes = {});
  // Mode 0120777, as links carry no permissions of their own.
  FileTreeBuilder& addSymlink(std::string_view name, std::string_view target,
                              const EntryAttributes& attributes = {});
  FileTreeBuilder& addCharDevice(std::string_view name, std::uint32_t device,
                                 std::uint16_t permissions = 0666,
                                 const EntryAttributes& attributes = {});
  FileTreeBuilder& addBlockDevice(std::string_view name, std::uint32_t device,
                                  std::uint16_t permissions = 0660,
                                  const EntryAttributes& attributes = {});
  FileTreeBuilder& addFifo(std::string_view name, std::uint16_t permissions = 0644,
                           const EntryAttributes& attributes = {});
  // Any mode, type bits included, with any data (sockets, devices of odd size...).
  FileTreeBuilder& addRaw(std::uint16_t mode, std::string_view name, std::string_view data,
                          const EntryAttributes& attributes = {});
  // Bytes appended as they are (a cut header at the end, garbage...).
  FileTreeBuilder& addBytes(std::string_view bytes);

  std::size_t entryCount() const { return entries_; }
  // The entries, uncompressed.
  const std::string& raw() const { return raw_; }
  // The part payload.
  std::string compressed(int level = 9) const { return zlibCompress(raw_, level); }

 private:
  std::string raw_;
  std::size_t entries_ = 0;
};

}  // namespace pkgwriter
