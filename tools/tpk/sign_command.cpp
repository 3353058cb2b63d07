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

// The file with every package re-signed; empty with a message in error.
std::string resign(const std::string& path, const std::string& bytes,
                   const pkgwriter::TrailerSigner& sign, std::string& error) {
  InspectedFile layout;
  const std::string problem = scanLayout(bytes, layout);
  if (!problem.empty()) {
    error = path + ": malformed file: " + problem;
    return {};
  }
  std::string body;
  std::size_t i = 0;
  // A bundle's leading parts belong to no package and stay as they are.
  while (i < layout.parts.size() && layout.parts[i].type != pkgwriter::HeaderPart) {
    if (i > 0 || layout.parts[i].type != pkgwriter::BundleHeaderPart) {
      error = path + ": malformed file: it does not start with a package or bundle header";
      return {};
    }
    const LayoutPart& p = layout.parts[i++];
    body += bytes.substr(p.offset, 6 + std::size_t(p.length));
    while (i < layout.parts.size() && layout.parts[i].type != pkgwriter::HeaderPart) {
      const LayoutPart& q = layout.parts[i++];
      body += bytes.substr(q.offset, 6 + std::size_t(q.length));
    }
  }
  if (i == layout.parts.size()) {
    error = path + ": malformed file: no package in it";
    return {};
  }
  while (i < layout.parts.size()) {
    std::string package =
        bytes.substr(layout.parts[i].offset, 6 + std::size_t(layout.parts[i].length));
    ++i;
    bool trailerSeen = false;
    while (i < layout.parts.size() && layout.parts[i].type != pkgwriter::HeaderPart) {
      const LayoutPart& p = layout.parts[i++];
      if (trailerSeen) {
        error = path + ": malformed file: parts follow a signature trailer";
        return {};
      }
      if (p.type == pkgwriter::TrailerPart)
        trailerSeen = true;
      else
        package += bytes.substr(p.offset, 6 + std::size_t(p.length));
    }
    const std::string signedPackage = pkgwriter::signBody(package, sign);
    if (signedPackage.empty()) {
      error = path + ": signing failed";
      return {};
    }
    body += signedPackage;
  }
  if (body.size() > 0xFFFFFFFFu - pkgwriter::fileHeaderSize) {
    error = path + ": the signed file would be larger than 4 GiB";
    return {};
  }
  return pkgwriter::wrapFile(body, layout.magic);
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
        "its header part to the trailer's part header; a bundle's own leading parts\n"
        "are not signed.\n"
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
    if (signedFile.empty() || !writeFileAtomically(path, signedFile, error, 0644, true))
      status = report(statusFailed, "sign: " + error);
  }
  return status;
}

}  // namespace tpk
