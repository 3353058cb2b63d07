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
  switch (mode & typeBits) {
    case fifoType:
      type = 'p';
      break;
    case charDeviceType:
      type = 'c';
      break;
    case directoryType:
      type = 'd';
      break;
    case blockDeviceType:
      type = 'b';
      break;
    case regularType:
      type = '-';
      break;
    case symlinkType:
      type = 'l';
      break;
    case socketType:
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
  const std::uint16_t type = e.type();
  std::string size;
  if (type == charDeviceType || type == blockDeviceType) {
    char device[16];
    std::snprintf(device, sizeof device, "0x%04x", unsigned(e.device));
    size = device;
  } else if (type == directoryType || type == fifoType) {
    size = "-";
  } else {
    size = std::to_string(e.size);
  }
  const std::string time = type == symlinkType && e.time == 0 ? "-" : utcText(e.time);
  char head[96];
  std::snprintf(head, sizeof head, "%s %5u/%-5u %10s %19s ", modeText(e.mode).c_str(),
                unsigned(e.uid), unsigned(e.gid), size.c_str(), time.c_str());
  std::string line = head + printable(e.name);
  if (type == symlinkType) line += " -> " + printable(e.target);
  if (e.variant != 0) line += " [variant " + std::to_string(e.variant) + "]";
  return line;
}

}  // namespace tpk
