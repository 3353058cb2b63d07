// tpk sign: adds or replaces the signature trailer of every package in a file
// (each member of a bundle), in place through a temporary file.
#include <cstdio>

#include "pkgwriter/pkgwriter.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/file_io.h"
#include "tpk/package_inspection.h"
#include "tpk/package_signing.h"

namespace tpk {

namespace {

// The file with every package re-signed and its header (a bundle's own parts
// too) bound into the first one; empty with a message in error.
std::string resign(const std::string& path, const std::string& bytes,
                   const pkgwriter::TrailerSigner& sign, std::string& error) {
  InspectedFile layout;
  const std::string problem = scanLayout(bytes, layout);
  if (!problem.empty()) {
    error = path + ": malformed file: " + problem;
    return {};
  }
  const auto partBytes = [&bytes](const LayoutPart& p) {
    return bytes.substr(p.offset, 6 + std::size_t(p.length));
  };
  std::string leading;
  std::size_t i = 0;
  while (i < layout.parts.size() && layout.parts[i].type != pkgwriter::HeaderPart) {
    if (i == 0 && layout.parts[i].type != pkgwriter::BundleHeaderPart) {
      error = path + ": malformed file: it does not start with a package or bundle header";
      return {};
    }
    leading += partBytes(layout.parts[i++]);
  }
  if (i == layout.parts.size()) {
    error = path + ": malformed file: no package in it";
    return {};
  }
  std::vector<std::string> packages;
  while (i < layout.parts.size()) {
    std::string package = partBytes(layout.parts[i++]);
    bool trailerSeen = false;
    while (i < layout.parts.size() && layout.parts[i].type != pkgwriter::HeaderPart) {
      const LayoutPart& p = layout.parts[i++];
      if (trailerSeen) {
        error = path + ": malformed file: parts follow a signature trailer";
        return {};
      }
      trailerSeen = p.type == pkgwriter::TrailerPart;
      package += partBytes(p);
    }
    packages.push_back(pkgwriter::unsignedBody(package));
  }
  std::string rest;
  bool signedAll = true;
  for (std::size_t p = 1; p < packages.size(); ++p) {
    const std::string signedPackage = pkgwriter::signBody(packages[p], sign);
    signedAll = signedAll && !signedPackage.empty();
    rest += signedPackage;
  }
  const std::uint32_t scope =
      leading.empty() ? pkgwriter::packageBindingScope : pkgwriter::bundleBindingScope;
  const std::string file =
      pkgwriter::bindFile(leading, packages[0], sign, rest, scope, layout.magic);
  if (file.empty() || !signedAll) {
    error = path + ": signing failed";
    return {};
  }
  if (file.size() > 0xFFFFFFFFu) {
    error = path + ": the signed file would be larger than 4 GiB";
    return {};
  }
  return file;
}

}  // namespace

int runSign(const std::vector<std::string>& argv) {
  Arguments args;
  std::string error;
  if (!args.parse(argv, {{"key", 'k', true}}, error))
    return report(statusUsage, error + " (see tpk sign --help)");
  if (args.has("help")) {
    std::printf(
        "usage: tpk sign --key SECRET FILE...\n"
        "\n"
        "Adds or replaces the signature trailer of every package in each FILE (each\n"
        "member of a bundle), in place. A package's signature covers its parts from\n"
        "its header part to the trailer's part header. The file header and a\n"
        "bundle's own leading parts are bound into the first package (a binding\n"
        "part, signed with it).\n"
        "\n"
        "  -k, --key FILE   secret key file (see tpk keygen)\n");
    return statusOk;
  }
  if (!args.has("key")) return report(statusUsage, "sign: --key SECRET is required");
  if (args.positional().empty()) return report(statusUsage, "sign: no FILE given");
  KeyBytes secret{};
  if (!readSecretKey(args.value("key"), secret, error))
    return report(statusUsage, "sign: " + error);
  const pkgwriter::TrailerSigner sign = trailerSigner(secret);
  int status = statusOk;
  for (const std::string& path : args.positional()) {
    std::string bytes;
    if (!readWholeFile(path, bytes, error)) {
      status = report(statusFailed, "sign: " + error);
      continue;
    }
    const std::string signedFile = resign(path, bytes, sign, error);
    if (signedFile.empty() ||
        writeFileAtomically(path, signedFile, error, 0644, true) == OutputWrite::NotWritten)
      status = report(statusFailed, "sign: " + error);
  }
  return status;
}

}  // namespace tpk
