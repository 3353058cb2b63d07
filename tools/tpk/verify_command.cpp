// tpk verify: the installer's file check on every file, with the reason why
// a package or bundle member was refused, in one walk of each file.
#include <cstdio>
#include <sstream>
#include <utility>

#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/file_io.h"
#include "tpk/inspection_text.h"
#include "tpk/package_inspection.h"
#include "tpk/package_signing.h"

namespace tpk {

namespace {

// "ok", or the refused package's name ("-" when unknown) and the reason: one
// walk of the installer's file check, which also lists the file's layout.
std::string verdictLine(std::string bytes, const TrustAnchors& trust) {
  const std::size_t size = bytes.size();
  std::istringstream input(std::move(bytes));  // the file is held once
  PartStream stream(input, true);
  InspectedFile layout;
  stream.places = &layout.parts;
  const FileCheckReport check = checkPackageFileReported(stream, trust);
  finishLayout(stream);
  if (!layoutProblem(size, stream, layout).empty())
    return std::string("-: ") + verdictText(Verdict::Malformed);
  if (check.verdict == Verdict::Accepted) return verdictText(check.verdict);
  return (check.name.empty() ? "-" : printable(check.name)) + ": " + verdictText(check.verdict);
}

}  // namespace

int runVerify(const std::vector<std::string>& argv) {
  Arguments args;
  std::string error;
  if (!args.parse(argv, {{"pubkey", 'p', true}}, error))
    return report(statusUsage, error + " (see tpk verify --help)");
  if (args.has("help")) {
    std::printf(
        "usage: tpk verify [--pubkey FILE] FILE...\n"
        "\n"
        "Checks every file as the installer does: each package (each bundle member)\n"
        "must end in a signature trailer that verifies or have a known digest, nothing\n"
        "may follow a trailer but the next member, and the file ends with its last\n"
        "package; a bundle holds no file tree or signature of its own; a binding\n"
        "in the first package must match the file header and a bundle's own parts.\n"
        "Prints \"FILE: ok\" or \"FILE: PACKAGE: REASON\" per file, the reason being one\n"
        "of: no signature and unknown digest, digest mismatch, bad signature,\n"
        "binding mismatch, malformed file. Exit status: 0 all verified, 1 one did\n"
        "not, 2 usage error.\n"
        "\n"
        "  -p, --pubkey FILE   signer public key file (default: the installer's own\n"
        "                      trust configuration)\n");
    return statusOk;
  }
  if (args.positional().empty()) return report(statusUsage, "verify: no FILE given");
  KeyBytes key{};
  const bool withKey = args.has("pubkey");
  if (withKey && !readPublicKey(args.value("pubkey"), key, error))
    return report(statusUsage, "verify: " + error);
  TrustAnchors trust = configuredTrust();
  if (withKey) trust.publicKey = key.data();
  int status = statusOk;
  for (const std::string& path : args.positional()) {
    std::string bytes;
    if (!readWholeFile(path, bytes, error)) {
      std::printf("%s: -: %s\n", path.c_str(), error.c_str());
      status = statusFailed;
      continue;
    }
    const std::string verdict = verdictLine(std::move(bytes), trust);
    std::printf("%s: %s\n", path.c_str(), verdict.c_str());
    if (verdict != "ok") status = statusFailed;
  }
  return status;
}

}  // namespace tpk
