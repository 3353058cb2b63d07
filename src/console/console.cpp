#include "console/console.h"

#include <algorithm>

namespace {
constexpr char hideCursor[] = "\x1b[?25l";
constexpr char showCursor[] = "\x1b[?25h";
constexpr std::size_t barEnd = 76;        // columns up to the closing bracket
constexpr std::size_t messageLimit = 256;  // formatting buffer, terminator included
constexpr std::size_t wipeWidth = 79;
}  // namespace

Console& Console::instance() {
  static Console* console = new Console(stdout);  // never destroyed
  return *console;
}

void Console::write(const char* bytes, std::size_t length) {
  if (length != 0) std::fwrite(bytes, 1, length, out_);
}

void Console::flush() { std::fflush(out_); }

void Console::setStatus(const std::string& text) {
  if (quiet || text == statusLine) return;
  write(hideCursor, sizeof hideCursor - 1);
  write("\r", 1);
  write(text);
  if (text.size() < statusLine.size()) write(std::string(statusLine.size() - text.size(), ' '));
  write("\r", 1);
  write(showCursor, sizeof showCursor - 1);
  flush();
  statusLine = text;
}

void Console::showProgress(const std::string& text, std::uint32_t position, std::uint32_t total) {
  std::string line = text + " [";
  // A label too long for the bar leaves no bar; an empty input or a position
  // past the end shows a full bar. The fill never exceeds the bar.
  const std::size_t width = line.size() < barEnd ? barEnd - line.size() : 0;
  std::size_t filled = width;
  if (total != 0 && position < total)
    filled = static_cast<std::size_t>(std::uint64_t(position) * width / total);
  line.append(filled, '#');
  line.append(width - filled, ' ');
  line += ']';
  setStatus(line);
}

void Console::printMessage(const char* prefix, const char* format, std::va_list args) {
  char text[messageLimit];
  const int length = std::vsnprintf(text, sizeof text, format, args);
  if (length < 0) text[0] = '\0';
  std::string message = prefix ? prefix : "";
  message += text;
  if (quiet) return;
  if (!statusLine.empty()) {
    write("\r", 1);
    write(std::string(wipeWidth, ' '));
    write("\r", 1);
    flush();
  }
  write(message);
  write("\n", 1);
  flush();
  if (!statusLine.empty()) {
    write(statusLine);
    flush();
  }
  messages.push_back(std::move(message));
}

void Console::info(const char* format, ...) {
  setStatus("");
  std::va_list args;
  va_start(args, format);
  printMessage(nullptr, format, args);
  va_end(args);
}

void Console::warning(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  printMessage("WARNING: ", format, args);
  va_end(args);
}

void Console::error(const char* format, ...) {
  setStatus("");
  std::va_list args;
  va_start(args, format);
  printMessage("ERROR: ", format, args);
  va_end(args);
}
