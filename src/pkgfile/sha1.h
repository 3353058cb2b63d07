// SHA-1 as the part stream uses it: fed byte ranges, asked for a 20-byte digest
// that also starts a new computation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class Hash {
public:
  virtual ~Hash() = default;
  virtual void update(const void* data, std::size_t length) = 0;
  // Writes the digest of everything given since construction or the previous
  // digest, and starts afresh.
  virtual void digest(std::uint8_t* out) = 0;
};

class SHA1 final : public Hash {
public:
  static constexpr std::size_t digestSize = 20;
  SHA1();
  ~SHA1() override;
  SHA1(const SHA1&) = delete;
  SHA1& operator=(const SHA1&) = delete;
  void update(const void* data, std::size_t length) override;
  void digest(std::uint8_t* out) override;

private:
  struct State;
  std::unique_ptr<State> state_;
};
