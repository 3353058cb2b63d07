#include "pkgfile/tree_entry.h"

#include "pkgfile/byte_order.h"

TreeEntryHeader decodeTreeEntryHeader(const unsigned char (&bytes)[treeEntryHeaderSize]) {
  TreeEntryHeader header;
  header.mode = load16le(bytes);
  header.uid = load16le(bytes + 2);
  header.gid = load16le(bytes + 4);
  header.time = load32le(bytes + 8);
  header.variant = bytes[23];
  header.size = load32le(bytes + 24);
  header.nameLength = load16le(bytes + 28);
  return header;
}
