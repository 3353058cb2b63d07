// A Console of a test's own whose output is kept in memory.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/console.h"

namespace testing_support {

struct CapturedConsole {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  Console console{file};
  ~CapturedConsole() { std::fclose(file), std::free(buffer); }
  // Every byte written so far.
  std::string written() { return std::fflush(file), std::string(buffer, size); }
};

}  // namespace testing_support
