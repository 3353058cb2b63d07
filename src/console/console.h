// The process-wide context and output object: the status line, the messages of
// the run, the quiet flag, the target architecture and the installed set.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "model/package.h"

#define INSTALLER_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

class Console {
public:
  // The one Console of the process, created on first use and never destroyed.
  static Console& instance();

  // A Console writing to out; the process uses instance(), tests make their own.
  explicit Console(std::FILE* out = stdout) : out_(out) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Shows text as the status line, rewriting it in place.
  void setStatus(const std::string& text);
  // Shows text followed by a progress bar of position out of total bytes.
  void showProgress(const std::string& text, std::uint32_t position, std::uint32_t total);

  // Messages: formatted into at most 255 bytes after the prefix, printed above
  // the status line and recorded in messages. Never pass package text as format.
  void info(const char* format, ...) INSTALLER_PRINTF(2, 3);
  void warning(const char* format, ...) INSTALLER_PRINTF(2, 3);
  void error(const char* format, ...) INSTALLER_PRINTF(2, 3);
  void printMessage(const char* prefix, const char* format, std::va_list args)
      INSTALLER_PRINTF(3, 0);

  std::string arch;
  PackageDb packages;
  std::string statusLine;
  std::vector<std::string> messages;
  bool quiet = false;

private:
  void write(const char* bytes, std::size_t length);
  void write(const std::string& text) { write(text.data(), text.size()); }
  void flush();

  std::FILE* out_;
};
