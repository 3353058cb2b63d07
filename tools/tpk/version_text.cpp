#include "tpk/version_text.h"

namespace tpk {

namespace {

// Reads 1 to 3 decimal digits worth at most 255 from text at pos.
bool readNumber(std::string_view text, std::size_t& pos, unsigned& value) {
  const std::size_t start = pos;
  value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 4) {
    value = value * 10 + unsigned(text[pos] - '0');
    ++pos;
  }
  return pos > start && pos - start <= 3 && value <= 255;
}

}  // namespace

bool parseVersionText(std::string_view text, Version& version) {
  std::size_t pos = 0;
  unsigned major = 0, minor = 0, build = 0;
  if (!readNumber(text, pos, major)) return false;
  if (pos >= text.size() || text[pos] != '.') return false;
  ++pos;
  if (!readNumber(text, pos, minor)) return false;
  unsigned kind = Final;
  if (pos < text.size()) {
    if (text[pos] == '.') {
      ++pos;
      if (!readNumber(text, pos, build)) return false;
    } else {
      static const struct {
        std::string_view word;
        unsigned kind;
      } words[] = {{"alpha", Alpha}, {"beta", Beta}, {"rc", ReleaseCandidate}};
      bool found = false;
      for (const auto& w : words) {
        if (text.substr(pos, w.word.size()) == w.word) {
          kind = w.kind;
          pos += w.word.size();
          found = true;
          break;
        }
      }
      if (!found) return false;
      if (pos < text.size() && !readNumber(text, pos, build)) return false;
    }
  }
  if (pos != text.size()) return false;
  version = makeVersion(major, minor, kind, build);
  return true;
}

}  // namespace tpk
