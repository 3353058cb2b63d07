// tpk keygen: a new signing key pair in the key file format.
#include <sys/stat.h>

#include <cstdio>

#include "signer/signer.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/file_io.h"
#include "tpk/package_signing.h"

namespace tpk {

int runKeygen(const std::vector<std::string>& argv) {
  Arguments args;
  std::string error;
  if (!args.parse(argv, {{"output", 'o', true}, {"force", 'f', false}}, error))
    return report(statusUsage, error + " (see tpk keygen --help)");
  if (args.has("help")) {
    std::printf(
        "usage: tpk keygen -o BASENAME [--force]\n"
        "\n"
        "Writes a new random key pair: BASENAME.secret (mode 0600; keep it secret)\n"
        "and BASENAME.public, the 32 bytes an installer is configured with. Each is\n"
        "one line of 64 hex digits. Existing files are kept unless --force.\n");
    return statusOk;
  }
  if (!args.has("output")) return report(statusUsage, "keygen: -o BASENAME is required");
  if (!args.positional().empty())
    return report(statusUsage, "keygen: unexpected argument " + args.positional()[0]);
  const std::string secretPath = args.value("output") + ".secret";
  const std::string publicPath = args.value("output") + ".public";
  struct stat st {};
  if (!args.has("force")) {
    for (const std::string& path : {secretPath, publicPath})
      if (::lstat(path.c_str(), &st) == 0)
        return report(statusFailed, "keygen: " + path + " exists (use --force to replace it)");
  }
  KeyBytes secret{}, publicKey{};
  if (!generateKeyPair(secret, publicKey, error)) return report(statusFailed, "keygen: " + error);
  // Both or neither: a new secret beside an old public key would be a pair
  // that signs nothing the installer accepts.
  if (writeFilesTogether({{secretPath, signer::keyFileText(secret.data()), 0600},
                          {publicPath, signer::keyFileText(publicKey.data()), 0644}},
                         error) == OutputWrite::NotWritten)
    return report(statusFailed, "keygen: " + error);
  return statusOk;
}

}  // namespace tpk
