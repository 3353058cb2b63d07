// Turns a directory on the build machine into file-tree entries: every entry
// below the directory (the directory itself excluded), children in byte-wise
// name order, each directory before its contents, so the same tree always
// gives the same bytes.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "pkgwriter/file_tree_builder.h"

namespace tpk {

struct TreeOptions {
  std::optional<std::uint16_t> uid, gid;         // replace every entry's owner
  std::optional<std::uint32_t> mtime;            // replace every entry's time
  std::map<std::string, std::uint8_t> variants;  // entry path (no leading "/") -> device variant
};

// Regular files, directories, symbolic links, character and block devices and
// FIFOs; a socket or an owner that needs more than 16 bits is an error unless
// the owner is replaced. Symbolic links carry time 0 (the installer sets no
// time on links). False with a message in error.
bool scanTree(const std::string& directory, const TreeOptions& options,
              pkgwriter::FileTreeBuilder& tree, std::string& error);

// The device number as the device's mknod takes it (major in bits 8-19 and
// minor in bits 0-7 and 20-31).
std::uint32_t encodeDeviceNumber(unsigned major, unsigned minor);

}  // namespace tpk
