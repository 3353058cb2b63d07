#include "tpk/inspection_text.h"

#include <cstdio>

#include "model/utc_time.h"

namespace tpk {

std::string printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == '\\') {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(c));
      out += escaped;
    } else {
      out.push_back(char(c));
    }
  }
  return out;
}

std::string modeText(std::uint16_t mode) {
  char type = '?';
  switch (mode & 0xF000u) {
    case 0x1000:
      type = 'p';
      break;
    case 0x2000:
      type = 'c';
      break;
    case 0x4000:
      type = 'd';
      break;
    case 0x6000:
      type = 'b';
      break;
    case 0x8000:
      type = '-';
      break;
    case 0xA000:
      type = 'l';
      break;
    case 0xC000:
      type = 's';
      break;
  }
  std::string text(1, type);
  const char* letters = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i) text.push_back((mode >> (8 - i)) & 1 ? letters[i] : '-');
  auto special = [&](std::size_t at, unsigned bit, char set, char unset) {
    if (mode & bit) text[at] = text[at] == 'x' ? set : unset;
  };
  special(3, 04000, 's', 'S');
  special(6, 02000, 's', 'S');
  special(9, 01000, 't', 'T');
  return text;
}

std::string utcText(std::uint32_t seconds) {
  const UtcTime t = utcTime(seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string layoutText(const std::vector<LayoutPart>& parts) {
  std::string text;
  for (const LayoutPart& p : parts) {
    if (!text.empty()) text += ", ";
    text += std::to_string(p.type) + "@" + std::to_string(p.offset) + " (" +
            std::to_string(p.length) + ")";
  }
  return text;
}

std::string entryLine(const InspectedEntry& e) {
  const unsigned type = e.mode & 0xF000u;
  std::string size;
  if (type == 0x2000u || type == 0x6000u) {
    char device[16];
    std::snprintf(device, sizeof device, "0x%04x", unsigned(e.device));
    size = device;
  } else if (type == 0x4000u || type == 0x1000u) {
    size = "-";
  } else {
    size = std::to_string(e.size);
  }
  const std::string time = type == 0xA000u && e.time == 0 ? "-" : utcText(e.time);
  char head[96];
  std::snprintf(head, sizeof head, "%s %5u/%-5u %10s %19s ", modeText(e.mode).c_str(),
                unsigned(e.uid), unsigned(e.gid), size.c_str(), time.c_str());
  std::string line = head + printable(e.name);
  if (type == 0xA000u) line += " -> " + printable(e.target);
  if (e.variant != 0) line += " [variant " + std::to_string(e.variant) + "]";
  return line;
}

}  // namespace tpk
