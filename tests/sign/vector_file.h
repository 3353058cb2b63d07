// Helpers for the signature tests: hex conversion and the line-oriented vector
// files in tests/data (blank lines and lines starting with '#' are skipped).
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sign/field_element.h"

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

inline std::string toHex(const std::uint8_t* data, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

// The canonical encoding of a field element, as hex.
inline std::string packHex(const FieldElement& x) {
  std::uint8_t m[32];
  fePack(x, m);
  return toHex(m, 32);
}

// The blank-separated words of every vector line of a file in tests/data.
inline std::vector<std::vector<std::string>> readVectorLines(const std::string& name) {
  std::ifstream in(std::string(TEST_DATA_DIR) + "/" + name);
  EXPECT_TRUE(in.good()) << name;
  std::vector<std::vector<std::string>> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::vector<std::string> fields;
    std::string word;
    while (words >> word) fields.push_back(word);
    if (!fields.empty()) lines.push_back(fields);
  }
  return lines;
}

}  // namespace sign_test
