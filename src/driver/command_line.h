// The installer's command line.
#pragma once

#include <cstdio>
#include <string>

#include "model/run_flags.h"

struct Options {
  bool cleanup = false;
  bool streamMode = false;
  bool quiet = false;
  bool show = false;
  std::string root;
  RunFlags runFlags = 0;
};

enum class ParseResult {
  Run = 0,    // the options are complete; go on with the run
  Usage = 1,  // the usage line was printed; the program ends with status 0
};

// Parses argv[1..argc-1] into options, first match wins. "--reinstall" writes
// its lines to out at once; an unknown argument, or "-r"/"--month" as the last
// argument, writes the usage line to out.
ParseResult parseOptions(int argc, const char* const* argv, Options& options, std::FILE* out);
