#include "install/flash_queries.h"

#include "install/flash_platform.h"

namespace {
constexpr std::uint32_t eraseSize256K = 0x40000;
constexpr int featureBitMask = 16;
}  // namespace

bool flashEraseSizeIs256K() {
  const auto eraseSize = flashPlatform().mtdEraseSize();
  return eraseSize && *eraseSize == eraseSize256K;
}

Version flashMinimumVersion() { return flashPlatform().minimumVersionValue(); }

bool flashFeatureBit() {
  const auto word = flashPlatform().featureWord();
  return word && (*word & featureBitMask) != 0;
}

DeviceVariant deviceVariant() {
  const std::uint32_t processor = flashPlatform().processorVersion();

  // Two revisions come with either kind of flash; the driver tells which.
  const std::uint32_t revisionGroup = processor & 0xFFFFFF00u;
  if (revisionGroup == 0x80211000u || revisionGroup == 0x80212100u)
    return flashFeatureBit() ? variantCore2x : variantPlainFlashCore;

  const std::uint32_t versionLow = (processor >> 16) & 0xFFu;
  if (versionLow == 0x20 || versionLow == 0x21) return variantCore2x;
  if (versionLow == 0x83 || versionLow == 0x84 || versionLow == 0x85) return variantCore8x;
  if ((processor >> 16) == 0x1302) return variantCore1302;
  return variantNone;
}
