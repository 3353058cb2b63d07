// tpk: makes, signs, inspects and verifies package files for the installer.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tpk/commands.h"

namespace {

const char* const usage =
    "usage: tpk COMMAND [options] ARGS   (tpk COMMAND --help for details)\n"
    "       tpk --version\n"
    "\n"
    "commands:\n"
    "  build     make a package from a directory tree\n"
    "  bundle    make a bundle of member packages\n"
    "  sign      add or replace the signature of packages and bundle members\n"
    "  keygen    make a new signing key pair\n"
    "  digest    print each package's digest (for a table of known packages)\n"
    "  info      show the header fields, relations, flags and parts\n"
    "  contents  show the file tree\n"
    "  verify    check packages as the installer does\n"
    "  plan      show what an upgrade run would do to a copy of a device's root\n";

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>&);
};

const Command commands[] = {
    {"build", tpk::runBuild},       {"bundle", tpk::runBundle}, {"sign", tpk::runSign},
    {"keygen", tpk::runKeygen},     {"digest", tpk::runDigest}, {"info", tpk::runInfo},
    {"contents", tpk::runContents}, {"verify", tpk::runVerify}, {"plan", tpk::runPlan},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(usage, stderr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    std::fputs(usage, stdout);
    return 0;
  }
  if (name == "--version") {
    std::fputs("tpk " TPK_VERSION "\n", stdout);
    return 0;
  }
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& command : commands)
    if (name == command.name) return command.run(args);
  std::fprintf(stderr, "tpk: unknown command \"%s\" (see tpk --help)\n", name.c_str());
  return 2;
}
