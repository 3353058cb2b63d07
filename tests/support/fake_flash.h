// The flash answers of a device, set by each test; feature-word queries are counted.
#pragma once

#include <optional>

#include "install/flash_platform.h"

namespace testing_support {

struct FakeFlash : FlashPlatform {
  std::optional<std::uint32_t> eraseSize;
  Version minimum = 0;
  std::optional<int> feature;
  std::uint32_t processor = 0;
  int featureQueries = 0;
  std::optional<std::uint32_t> mtdEraseSize() override { return eraseSize; }
  std::uint32_t minimumVersionValue() override { return minimum; }
  std::optional<int> featureWord() override { return ++featureQueries, feature; }
  std::uint32_t processorVersion() override { return processor; }
};

}  // namespace testing_support
