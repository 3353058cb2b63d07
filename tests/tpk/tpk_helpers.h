// Helpers of the tpk tests: running the built tpk, and a deliberately naive
// splitter of package parts that shares nothing with the writer or the reader.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/installer_process.h"

namespace tpk_test {

// Runs the built tpk with args (without the program name).
inline testing_support::ProcessResult runTpk(
    const std::vector<std::string>& args,
    const std::map<std::string, std::string>& environment = {}) {
  std::vector<std::string> argv{TPK_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  testing_support::ProcessOptions options;
  options.environment = environment;
  return testing_support::runBuiltProgram(TPK_BINARY, argv, options);
}

// Status of "tpk build -o out --name name --version 1.0 --build-time 1" followed by more.
inline int buildPackage(const std::string& out, const std::string& name,
                        std::vector<std::string> more) {
  more.insert(more.begin(),
              {"build", "-o", out, "--name", name, "--version", "1.0", "--build-time", "1"});
  const auto r = runTpk(more);
  EXPECT_EQ(r.errors, "") << name;
  return r.status;
}

inline std::uint32_t le32(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | std::uint8_t(bytes.at(offset + std::size_t(i)));
  return value;
}

struct Part {
  std::uint16_t type = 0;
  std::string payload;
};
// The parts after the 8-byte file header; stops at a cut part.
inline std::vector<Part> splitParts(const std::string& file) {
  std::vector<Part> parts;
  for (std::size_t offset = 8; offset + 6 <= file.size();) {
    const std::uint32_t length = le32(file, offset + 2);
    if (length > file.size() - offset - 6) break;
    parts.push_back(
        {std::uint16_t(std::uint8_t(file[offset]) | std::uint8_t(file[offset + 1]) << 8),
         file.substr(offset + 6, length)});
    offset += 6 + length;
  }
  return parts;
}

}  // namespace tpk_test
