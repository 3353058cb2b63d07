// The only place that talks to the flash device nodes and reads the processor
// version register. The queries reach the platform through flashPlatform(),
// which tests can point at a stand-in with ScopedFlashPlatform.
#pragma once

#include <cstdint>
#include <optional>

class FlashPlatform {
public:
  virtual ~FlashPlatform() = default;

  // Erase block size reported by MEMGETINFO on /dev/mtd0; nothing when the
  // node cannot be opened or refuses the request.
  virtual std::optional<std::uint32_t> mtdEraseSize() = 0;
  // The value field of the minimum-version record after the request on
  // /dev/flash (opened read-write); 0 when the node cannot be opened or the
  // driver leaves the record alone.
  virtual std::uint32_t minimumVersionValue() = 0;
  // The feature word of /dev/flash (the request's return value); nothing when
  // the node cannot be opened or refuses the request.
  virtual std::optional<int> featureWord() = 0;
  // The processor version register: version in the upper 16 bits, revision in
  // the lower 16; 0 on processors where it is not read.
  virtual std::uint32_t processorVersion() = 0;
};

// The device's own platform layer.
FlashPlatform& deviceFlashPlatform();

// The platform layer the queries use: the device's own unless a
// ScopedFlashPlatform is active.
FlashPlatform& flashPlatform();

// Makes the queries use another platform layer for as long as it lives.
class ScopedFlashPlatform {
public:
  explicit ScopedFlashPlatform(FlashPlatform& replacement);
  ~ScopedFlashPlatform();
  ScopedFlashPlatform(const ScopedFlashPlatform&) = delete;
  ScopedFlashPlatform& operator=(const ScopedFlashPlatform&) = delete;

private:
  FlashPlatform* previous_;
};
