#include "tpk/shown_lines.h"

namespace tpk {

namespace {

void removeAll(std::string& text, const std::string& what) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at))
    text.erase(at, what.size());
}

}  // namespace

std::vector<std::string> shownLines(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = output.find('\n'); end != std::string::npos;
       start = end + 1, end = output.find('\n', start)) {
    std::string line = output.substr(start, end - start);
    removeAll(line, "\x1b[?25l");
    removeAll(line, "\x1b[?25h");
    const std::size_t cr = line.rfind('\r');
    lines.push_back(cr == std::string::npos ? line : line.substr(cr + 1));
  }
  return lines;
}

}  // namespace tpk
