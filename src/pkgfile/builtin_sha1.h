// A portable SHA-1 (FIPS 180-4) for builds without the platform crypto
// library; also compiled and tested where that library is present.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pkgfile/sha1.h"

class BuiltinSha1 final : public Hash {
public:
  BuiltinSha1() { reset(); }
  void update(const void* data, std::size_t length) override;
  void digest(std::uint8_t* out) override;

private:
  void reset();
  void compress(const std::uint8_t* block);

  std::uint32_t h_[5];
  std::uint8_t block_[64];
  std::size_t used_;     // bytes waiting in block_
  std::uint64_t total_;  // bytes given since the last reset
};
