#include "tpk_helpers.h"

#include <gtest/gtest.h>
#include <zlib.h>

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
  return testing_support::runProgram(TPK_BINARY, argv, options);
}

std::string samplePath(const std::string& name) {
  return std::string(TEST_DATA_DIR) + "/packages/" + name;
}

int buildPackage(const std::string& out, const std::string& name,
                 const std::vector<std::string>& more) {
  std::vector<std::string> args{"build", "-o", out, "--name", name, "--version", "1.0",
                                "--build-time", "1"};
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

std::vector<TreeEntry> decodeTree(const std::string& compressed) {
  std::string raw(1 << 20, '\0');
  uLongf size = raw.size();
  EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                       reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()),
            Z_OK);
  raw.resize(size);
  std::vector<TreeEntry> entries;
  std::size_t at = 0;
  while (at + 30 <= raw.size()) {
    TreeEntry e;
    auto u16 = [&](std::size_t o) {
      return std::uint16_t(std::uint8_t(raw[at + o]) | std::uint8_t(raw[at + o + 1]) << 8);
    };
    e.mode = u16(0);
    e.uid = u16(2);
    e.gid = u16(4);
    e.time = le32(raw, at + 8);
    e.variant = std::uint8_t(raw[at + 23]);
    const std::uint32_t dataSize = le32(raw, at + 24);
    const std::uint16_t nameSize = u16(28);
    e.name = raw.substr(at + 30, nameSize);
    e.data = raw.substr(at + 30 + nameSize, dataSize);
    entries.push_back(e);
    at += 30 + nameSize + dataSize;
  }
  EXPECT_EQ(at, raw.size()) << "tree does not end on an entry boundary";
  return entries;
}

std::vector<std::string> directoryNames(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tpk_test
