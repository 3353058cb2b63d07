// Helpers for the signature tests: hex conversion and the line-oriented vector
// files in tests/data (blank lines and lines starting with '#' are skipped).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sign/field_element.h"
#include "support/scratch_dir.h"

namespace sign_test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes fromHex(const std::string& hex) {
  Bytes out;
  EXPECT_EQ(hex.size() % 2, 0u) << hex;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(std::uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

using testing_support::toHex;

// The canonical encoding of a field element, as hex.
inline std::string packHex(const FieldElement& x) {
  std::uint8_t m[32];
  fePack(x, m);
  return toHex(m, 32);
}

// The blank-separated words of every vector line of a file in tests/data.
inline std::vector<std::vector<std::string>> readVectorLines(const std::string& name) {
  std::vector<std::vector<std::string>> lines;
  for (const std::string& line : testing_support::dataLines(name))
    lines.push_back(testing_support::wordsOf(line));
  return lines;
}

}  // namespace sign_test
