// Signed packages, shown lines, and device roots laid out and recorded as in
// tests/data/e2e/README.md.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "model/version.h"
#include "pkgwriter/pkgwriter.h"
#include "support/device_tree.h"
#include "support/installer_process.h"

namespace e2e {

using namespace testing_support;
using Lines = std::vector<std::string>;

constexpr Version v1 = makeVersion(1, 0, Final, 0);

// A signed package holding the one file <dir><name>, "<name> <version>\n".
inline pkgwriter::PackageLayout package(const std::string& name, Version version = v1,
                                        const std::string& dir = "bin/") {
  pkgwriter::PackageLayout layout;
  layout.name = name;
  layout.version = version;
  layout.buildTime = 1704067200;
  layout.fileTree = pkgwriter::FileTreeBuilder()
                        .addFile(dir + name, name + " " + versionText(version) + "\n")
                        .compressed();
  layout.signer = pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");
  return layout;
}

// What a person reads on the terminal: each line after its last carriage
// return, cursor controls left out.
inline Lines shownLines(const std::string& output) {
  Lines lines;
  std::istringstream text(output);
  for (std::string line; std::getline(text, line);) {
    for (const char* control : {"\x1b[?25l", "\x1b[?25h"}) replaceAll(line, control, "");
    const auto cr = line.rfind('\r');
    lines.push_back(cr == std::string::npos ? line : line.substr(cr + 1));
  }
  return lines;
}

// The run's status, output and root as recorded (see the README).
inline std::string outcome(const ProcessResult& result, const DeviceRoot& root) {
  std::string text = "status " + std::to_string(result.status) + "\n", output = result.output;
  for (const auto& [from, to] :
       {std::pair{"\x1b[?25l", "<hide>"}, {"\x1b[?25h", "<show>"}, {"\r", "<cr>"}})
    replaceAll(output, from, to);
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) text += "| " + line + "\n";
  if (!output.empty() && output.back() != '\n') text += "(no final newline)\n";
  return text + treeText(root.path());
}

// Lays out tests/data/e2e/<name>.txt below the root.
inline void lay(const DeviceRoot& root, const std::string& name) {
  layOut(root.path(), readFile(TEST_DATA_DIR "/e2e/" + name + ".txt"));
}

}  // namespace e2e
