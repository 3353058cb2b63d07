// tpk verify: the installer's file check on every file, with the reason why
// a package or bundle member was refused.
#include <cstdio>

#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/regular_file.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/inspection_text.h"
#include "tpk/package_inspection.h"
#include "tpk/package_signing.h"

namespace tpk {

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
    InspectedFile file;
    if (!inspectFile(path, withKey ? key.data() : nullptr, file, error)) {
      std::printf("%s: -: %s\n", path.c_str(), error.c_str());
      status = statusFailed;
      continue;
    }
    std::string failure;
    if (!file.problem.empty()) {
      std::string who = "-";
      if (!file.packages.empty() && !file.packages.back().record.name.empty())
        who = printable(file.packages.back().record.name);
      failure = who + ": " + verdictText(Verdict::Malformed);
    } else {
      for (const InspectedPackage& p : file.packages) {
        if (p.isBundleHeader || p.verdict == Verdict::Accepted) continue;
        failure = printable(p.record.name) + ": " + verdictText(p.verdict);
        break;
      }
      if (failure.empty() && file.binding == BindingState::Differs)
        failure = printable(file.packages.front().record.name) + ": binding mismatch";
    }
    // The verdict is the installer's own check; the inspection above only
    // names the package and the reason when it can.
    if (failure.empty()) {
      RegularFileStream input(path);
      PartStream stream(input, true);
      if (!checkPackageFile(stream, trust)) {
        const std::string who =
            file.packages.empty() ? "-" : printable(file.packages.front().record.name);
        failure = who + ": " + verdictText(Verdict::Malformed);
      }
    }
    if (failure.empty()) {
      std::printf("%s: ok\n", path.c_str());
    } else {
      std::printf("%s: %s\n", path.c_str(), failure.c_str());
      status = statusFailed;
    }
  }
  return status;
}

}  // namespace tpk
