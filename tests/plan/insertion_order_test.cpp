// The insertion order against a plain vector doing the same insertions, over
// enough elements to fill many blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "plan/insertion_order.h"

namespace {

TEST(InsertionOrder, AgreesWithAPlainVector) {
  constexpr std::size_t count = 5000;
  std::mt19937 random(7);
  InsertionOrder order(count);
  std::vector<std::size_t> plain;
  const auto position = [&](std::size_t e) { return std::ranges::find(plain, e) - plain.begin(); };
  for (std::size_t e = 0; e < count; ++e) {
    EXPECT_FALSE(order.contains(e));
    // Mostly at the front, which fills the first block fastest.
    if (plain.empty() || random() % 3 == 0) {
      order.insertFront(e);
      plain.insert(plain.begin(), e);
    } else {
      const std::size_t before = plain[random() % plain.size()];
      order.insertBehind(before, e);
      plain.insert(plain.begin() + position(before) + 1, e);
    }
    ASSERT_TRUE(order.contains(e));
    const std::size_t a = plain[random() % plain.size()], b = plain[random() % plain.size()];
    ASSERT_EQ(order.behind(a, b), position(a) > position(b)) << a << " " << b;
  }
  EXPECT_EQ(order.elements(), plain);
}

}  // namespace
