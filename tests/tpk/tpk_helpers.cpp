#include "tpk_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace tpk_test {

testing_support::ProcessResult runTpk(const std::vector<std::string>& args,
                                      const std::map<std::string, std::string>& environment) {
  std::vector<std::string> argv{TPK_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  testing_support::ProcessOptions options;
  options.environment = environment;
  if (!environment.count("SOURCE_DATE_EPOCH")) options.unset.push_back("SOURCE_DATE_EPOCH");
  return testing_support::runBuiltProgram(TPK_BINARY, argv, options);
}

std::string samplePath(const std::string& name) {
  return std::string(TEST_DATA_DIR) + "/packages/" + name;
}

int buildPackage(const std::string& out, const std::string& name,
                 const std::vector<std::string>& more) {
  std::vector<std::string> args{"build", "-o",           out, "--name", name, "--version",
                                "1.0",   "--build-time", "1"};
  args.insert(args.end(), more.begin(), more.end());
  const auto r = runTpk(args);
  EXPECT_EQ(r.errors, "") << name;
  return r.status;
}

std::uint32_t le32(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | std::uint8_t(bytes.at(offset + std::size_t(i)));
  return value;
}

std::vector<Part> splitParts(const std::string& file) {
  std::vector<Part> parts;
  std::size_t offset = 8;
  while (offset + 6 <= file.size()) {
    Part part;
    part.type = std::uint16_t(std::uint8_t(file[offset]) | std::uint8_t(file[offset + 1]) << 8);
    const std::uint32_t length = le32(file, offset + 2);
    if (length > file.size() - offset - 6) break;
    part.payload = file.substr(offset + 6, length);
    parts.push_back(part);
    offset += 6 + length;
  }
  return parts;
}

std::vector<std::string> directoryNames(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tpk_test
