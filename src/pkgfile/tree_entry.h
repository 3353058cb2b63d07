// The entries of a package's file tree (the decompressed payload of its
// file-tree part): a 30-byte little-endian header, the name, then the data.
//   0 u16 mode, 2 u16 uid, 4 u16 gid, 8 u32 time, 23 u8 device variant,
//   24 u32 data size, 28 u16 name length; the other bytes are not read.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t treeEntryHeaderSize = 30;

// File types in the bits typeBits of an entry's mode.
constexpr std::uint16_t typeBits = 0xF000;
constexpr std::uint16_t fifoType = 0x1000;
constexpr std::uint16_t charDeviceType = 0x2000;
constexpr std::uint16_t directoryType = 0x4000;
constexpr std::uint16_t blockDeviceType = 0x6000;
constexpr std::uint16_t regularType = 0x8000;
constexpr std::uint16_t symlinkType = 0xA000;
constexpr std::uint16_t socketType = 0xC000;  // never created; only named

// The data of a device entry: its device number, a little-endian u32.
constexpr std::uint32_t deviceNumberSize = 4;

// The fields of an entry header that are read.
struct TreeEntryHeader {
  std::uint16_t mode = 0;
  std::uint16_t uid = 0;
  std::uint16_t gid = 0;
  std::uint32_t time = 0;
  std::uint8_t variant = 0;  // 0: for every device
  std::uint32_t size = 0;    // of the data after the name
  std::uint16_t nameLength = 0;

  std::uint16_t type() const { return mode & typeBits; }
};

// The header whose 30 bytes are given; every bit pattern is a header.
TreeEntryHeader decodeTreeEntryHeader(const unsigned char (&bytes)[treeEntryHeaderSize]);
