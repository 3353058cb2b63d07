#include "sign/hash256.h"

#include <gtest/gtest.h>

#include <string>

#include "vector_file.h"

using namespace sign_test;

// The default configuration carries the SHA-256 constants, so hash256 must
// reproduce SHA-256, at every padding boundary.
TEST(Hash256, ReproducesSha256AcrossPaddingBoundaries) {
  const auto hashHex = [](const std::string& message) {
    std::uint8_t out[32];
    hash256(out, reinterpret_cast<const std::uint8_t*>(message.data()),
            std::uint32_t(message.size()));
    return toHex(out, 32);
  };
  EXPECT_EQ(hashHex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hashHex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 55 bytes: the tail still fits one block with its 0x80 and length.
  EXPECT_EQ(hashHex(std::string(55, 'a')),
            "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
  // 56 bytes: the length no longer fits, two tail blocks.
  EXPECT_EQ(hashHex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // 64 bytes: one data block, then a padding block of 0x80 ... bit length 512.
  EXPECT_EQ(hashHex(std::string(64, 'a')),
            "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb");
}
