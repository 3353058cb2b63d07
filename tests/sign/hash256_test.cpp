#include "sign/hash256.h"

#include <gtest/gtest.h>

#include <string>

#include "sign/trust_config.h"
#include "vector_file.h"

using namespace sign_test;

namespace {

std::string hashHex(const std::string& message) {
  std::uint8_t out[32];
  hash256(out, reinterpret_cast<const std::uint8_t*>(message.data()),
          std::uint32_t(message.size()));
  return toHex(out, 32);
}

}  // namespace

// The default configuration carries the SHA-256 constants, so hash256 must
// reproduce SHA-256 at every padding boundary.
TEST(Hash256, ReproducesSha256AcrossPaddingBoundaries) {
  EXPECT_EQ(hashHex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hashHex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 55 bytes: the tail still fits one block with its 0x80 and length.
  EXPECT_EQ(hashHex(std::string(55, 'a')),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  // 56 bytes: the length no longer fits, two tail blocks.
  EXPECT_EQ(hashHex(std::string(56, 'a')),
            "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a");
  EXPECT_EQ(hashHex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // 64 bytes: one data block, then a padding block of 0x80 ... bit length 512.
  EXPECT_EQ(hashHex(std::string(64, 'a')),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
  EXPECT_EQ(hashHex(std::string(1000, 'a')),
            "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TEST(Hash256, FieldVectorFileHashes) {
  int seen = 0;
  for (const auto& f : readVectorLines("field.txt")) {
    if (f[0] != "hash256") continue;
    ASSERT_EQ(f.size(), 4u);
    const std::string quoted = f[1];
    ASSERT_GE(quoted.size(), 2u);
    EXPECT_EQ(hashHex(quoted.substr(1, quoted.size() - 2)), f[3]) << quoted;
    ++seen;
  }
  EXPECT_GE(seen, 2);
}

// The two inputs of the signature check (20 and 32 bytes) are one compression of
// the padded block, which compress256 alone must reproduce.
TEST(Hash256, ShortMessagesAreOneCompression) {
  for (unsigned length : {20u, 32u}) {
    std::uint8_t message[32];
    for (unsigned i = 0; i < length; ++i) message[i] = std::uint8_t(i * 37 + 5);
    std::uint8_t block[64] = {};
    for (unsigned i = 0; i < length; ++i) block[i] = message[i];
    block[length] = 0x80;
    block[62] = std::uint8_t((length * 8) >> 8);
    block[63] = std::uint8_t(length * 8);
    std::uint32_t state[8];
    for (int i = 0; i < 8; ++i) state[i] = hash256InitialValue[i];
    compress256(state, block);
    std::uint8_t expected[32];
    for (int i = 0; i < 8; ++i) {
      for (int b = 0; b < 4; ++b) expected[4 * i + b] = std::uint8_t(state[i] >> (24 - 8 * b));
    }
    std::uint8_t out[32];
    hash256(out, message, length);
    EXPECT_EQ(toHex(out, 32), toHex(expected, 32)) << length;
  }
}
