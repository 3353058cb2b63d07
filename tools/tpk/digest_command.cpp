// tpk digest: the SHA-1 of every package's digest window, the value a table of
// known digests holds.
#include <cstdio>

#include "pkgwriter/digest_window.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/file_io.h"
#include "tpk/package_inspection.h"

namespace tpk {

int runDigest(const std::vector<std::string>& argv) {
  Arguments args;
  std::string error;
  if (!args.parse(argv, {}, error)) return report(statusUsage, error + " (see tpk digest --help)");
  if (args.has("help")) {
    std::printf(
        "usage: tpk digest FILE...\n"
        "\n"
        "Prints one line per package (each member of a bundle): the SHA-1 of its\n"
        "digest window in hex, two blanks and the file name. The window runs from the\n"
        "package's type-1 part header to its signature part header inclusive (or to\n"
        "the next package or the end when it is unsigned).\n");
    return statusOk;
  }
  if (args.positional().empty()) return report(statusUsage, "digest: no FILE given");
  int status = statusOk;
  for (const std::string& path : args.positional()) {
    std::string file;
    if (!readWholeFile(path, file, error)) {
      status = report(statusFailed, "digest: " + error);
      continue;
    }
    // A file the installer could not read has no digest worth listing.
    InspectedFile layout;
    const std::string problem = scanLayout(file, layout);
    if (!problem.empty()) {
      status = report(statusFailed, "digest: " + path + ": malformed file: " + problem);
      continue;
    }
    const std::vector<pkgwriter::Digest> digests = pkgwriter::packageDigests(file);
    if (digests.empty()) {
      status = report(statusFailed, "digest: " + path + ": no package in the file");
      continue;
    }
    for (const pkgwriter::Digest& d : digests)
      std::printf("%s  %s\n", pkgwriter::hexDigest(d).c_str(), path.c_str());
  }
  return status;
}

}  // namespace tpk
