// The 16-bit type codes of the parts of a package file.
#pragma once

#include <cstdint>

enum PartType : std::uint16_t {
  partPackage = 1,           // package header
  partText2 = 2,             // text kept as text2
  partDependencies = 3,      // dependency list
  partFileTree = 4,          // compressed file tree
  partInstallScript = 7,     // "oninstall"
  partUninstallScript = 8,   // "onuninstall"
  partSignature = 9,         // signature trailer, 68 bytes
  partArchitecture = 16,     // architecture name
  partConflicts = 17,        // conflicts list
  partBundle = 18,           // bundle header: a package that holds packages
  partProvides = 19,         // provides list
  partDisabledMembers = 20,  // a bundle's default-disabled members, as a dependency list
  partImage = 21,            // never interpreted; its presence marks an image package
  partNote = 23,             // note text
  partText24 = 24,           // text kept as text24
  partBinding = 25,          // binds the bytes no signature covers to the first package
};

// A file starts with an 8-byte header (magic, then the length of the rest);
// each part with a 6-byte header (type, then the length of its payload).
constexpr std::uint32_t fileHeaderSize = 8;
constexpr std::uint32_t partHeaderSize = 6;

// The two magics a package file may start with.
constexpr std::uint32_t packageMagic = 0xBAD0F11E;
constexpr std::uint32_t alternatePackageMagic = 0xA1100FFB;
