// Helpers of the tpk tests: running the built tpk, and a deliberately naive
// splitter of package parts that shares nothing with the writer or the reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/installer_process.h"

namespace tpk_test {

// Runs the built tpk with args (without the program name). SOURCE_DATE_EPOCH
// is removed from the environment unless given in environment.
testing_support::ProcessResult runTpk(const std::vector<std::string>& args,
                                      const std::map<std::string, std::string>& environment = {});

std::string samplePath(const std::string& name);

// Status of "tpk build -o out --name name --version 1.0 --build-time 1" followed by more.
int buildPackage(const std::string& out, const std::string& name,
                 const std::vector<std::string>& more);

struct Part {
  std::uint16_t type = 0;
  std::string payload;
};
// The parts after the 8-byte file header; stops at a cut part.
std::vector<Part> splitParts(const std::string& file);
std::uint32_t le32(const std::string& bytes, std::size_t offset);

// The names of every file in a directory.
std::vector<std::string> directoryNames(const std::string& path);

}  // namespace tpk_test
