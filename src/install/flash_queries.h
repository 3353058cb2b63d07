// What the installer asks the device about its flash storage and processor.
// Every query asks the device afresh and never fails loudly: a missing node or
// a refused request gives the neutral answer.
#pragma once

#include <cstdint>

#include "model/version.h"

// The device variant byte of a file entry in a package's file tree.
enum DeviceVariant : std::uint8_t {
  variantNone = 0,          // not a listed device; in a file entry: every device
  variantCore8x = 1,        // processor version low byte 0x83, 0x84 or 0x85
  variantCore2x = 2,        // processor version low byte 0x20 or 0x21
  variantCore1302 = 3,      // processor version 0x1302
  variantPlainFlashCore = 4,  // revisions 0x802110xx and 0x802121xx whose flash feature bit is clear
};

// Whether /dev/mtd0 reports an erase block of exactly 256 KiB (false when
// the node is missing or refuses the request).
bool flashEraseSizeIs256K();

// The lowest system version the device accepts; 0 when there is none or it
// cannot be read.
Version flashMinimumVersion();

// Bit 4 (value 16) of the feature word of /dev/flash; false when the node is
// missing or refuses the request.
bool flashFeatureBit();

// The variant of this device, decided from the processor version register
// (and, on two revisions, the flash feature bit).
DeviceVariant deviceVariant();
