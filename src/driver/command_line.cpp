#include "driver/command_line.h"

#include <cstring>

namespace {
bool is(const char* argument, const char* option) { return std::strcmp(argument, option) == 0; }
}  // namespace

ParseResult parseOptions(int argc, const char* const* argv, Options& options, std::FILE* out) {
  for (int i = 1; i < argc; ++i) {
    const char* argument = argv[i];
    const bool hasNext = i + 1 < argc;
    if (is(argument, "--cleanup")) {
      options.cleanup = true;
      break;
    }
    if (is(argument, "-r") && hasNext) {
      options.root = argv[++i];
    } else if (is(argument, "-")) {
      options.streamMode = true;
      break;
    } else if (is(argument, "-q")) {
      options.quiet = true;
    } else if (is(argument, "-down")) {
      options.runFlags |= allowDowngrade;
    } else if (is(argument, "--reinstall")) {
      std::fputs("\nResuming upgrade...\n", out);
      std::fflush(out);
      options.runFlags |= reinstall;
    } else if (is(argument, "-b") || is(argument, "--force") || is(argument, "--noupgrade") ||
               is(argument, "-i")) {
      // accepted for compatibility, no effect
    } else if (is(argument, "--month") && hasNext) {
      ++i;
    } else if (is(argument, "--show")) {
      options.show = true;
    } else {
      std::fputs("usage: installer [-q] [-r <root>] [-]\n", out);
      std::fflush(out);
      return ParseResult::Usage;
    }
  }
  return ParseResult::Run;
}
