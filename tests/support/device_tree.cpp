#include "support/device_tree.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include "support/scratch_dir.h"

namespace testing_support {

void layOut(const std::string& root, const std::string& text) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t is = line.find(" = "), from = line.find(" < "), end = std::min(is, from);
    const std::string path = root + line.substr(0, end);
    makeDirs(end == std::string::npos ? path : path.substr(0, path.rfind('/')));
    if (end == std::string::npos) continue;
    std::string content = line.substr(end + 3);
    std::replace(content.begin(), content.end(), '|', '\n');
    if (from < is) {
      std::istringstream words(line.substr(from + 3));
      std::string sample;
      std::size_t length = std::string::npos;
      words >> sample >> length;
      content = readFile(TEST_DATA_DIR "/packages/" + sample).substr(0, length);
    }
    writeFile(path, content);
  }
}

std::string treeText(const std::string& dir) {
  std::vector<std::string> entries;
  std::error_code missing;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, missing)) {
    std::string line = entry.path().string().substr(dir.size());
    if (entry.is_directory()) {
      entries.push_back(line + "/");
      continue;
    }
    std::string content = readFile(entry.path());
    if (content.size() > 100 || std::any_of(content.begin(), content.end(), [](char c) {
          return c != '\n' && (c < ' ' || c > '~');
        }))
      content = "<" + std::to_string(content.size()) + " bytes>";
    std::replace(content.begin(), content.end(), '\n', '|');
    line += " = " + content;
    if (entry.hard_link_count() > 1)
      line += " (" + std::to_string(entry.hard_link_count()) + " links)";
    entries.push_back(line);
  }
  std::sort(entries.begin(), entries.end());
  std::string text;
  for (const std::string& entry : entries) text += entry + "\n";
  return text;
}

}  // namespace testing_support
