#include "sign/hash256.h"

#include <gtest/gtest.h>

#include <string>

#include "vector_file.h"

using namespace sign_test;

TEST(Hash256, ReproducesSha256AcrossPaddingBoundaries) {
  const auto rows = readVectorLines("sign/hash256.txt");
  EXPECT_EQ(rows.size(), 5u);
  for (const auto& f : rows) {
    ASSERT_EQ(f.size(), 3u) << f[0];
    std::string message;
    for (int i = std::stoi(f[0]); i > 0; --i) message += f[1] == "-" ? "" : f[1];
    std::uint8_t out[32];
    hash256(out, reinterpret_cast<const std::uint8_t*>(message.data()), std::uint32_t(message.size()));
    EXPECT_EQ(toHex(out, 32), f[2]) << f[1];
  }
}
