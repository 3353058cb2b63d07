// tpk build: a package from a directory tree and the header options.
#include <grp.h>
#include <pwd.h>

#include <cstdio>

#include "pkgwriter/pkgwriter.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/file_io.h"
#include "tpk/header_options.h"
#include "tpk/package_signing.h"
#include "tpk/tree_scanner.h"

namespace tpk {

namespace {

const char* const usage =
    "usage: tpk build -o OUT --name NAME --version VERSION [options] DIR\n"
    "       tpk build -o OUT --name NAME --version VERSION [options] --no-files\n"
    "\n"
    "Makes the package OUT from the files below DIR (DIR itself is not an entry;\n"
    "its contents land below /flash on the device). Entries are sorted by name,\n"
    "so the same inputs always give the same bytes.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE        the package file to write\n"
    "%s"
    "      --oninstall FILE     install script\n"
    "      --onuninstall FILE   uninstall script\n"
    "      --owner USER:GROUP   owner of every entry (names or numbers; root:root is 0:0)\n"
    "      --mtime SECONDS      time of every entry (default: each file's own)\n"
    "      --variant PATH=N     device variant N (1-255) for the entry PATH; repeatable\n"
    "      --alternate-magic    write the alternate file magic\n"
    "      --no-files           a package without a file tree\n"
    "  -k, --key FILE           sign with this secret key (see tpk keygen)\n"
    "%s";

bool parseOwnerPart(const std::string& text, bool isGroup, std::uint16_t& id) {
  std::uint32_t value = 0;
  if (parseU32(text, value)) {
    if (value > 0xFFFF) return false;
    id = std::uint16_t(value);
    return true;
  }
  if (text == "root") {
    id = 0;
    return true;
  }
  std::uint64_t looked = 0;
  if (isGroup) {
    const group* g = ::getgrnam(text.c_str());
    if (g == nullptr) return false;
    looked = g->gr_gid;
  } else {
    const passwd* p = ::getpwnam(text.c_str());
    if (p == nullptr) return false;
    looked = p->pw_uid;
  }
  if (looked > 0xFFFF) return false;
  id = std::uint16_t(looked);
  return true;
}

bool readTreeOptions(const Arguments& args, TreeOptions& options, std::string& error) {
  if (args.has("owner")) {
    const std::string owner = args.value("owner");
    const std::size_t colon = owner.find(':');
    std::uint16_t uid = 0, gid = 0;
    if (colon == std::string::npos || !parseOwnerPart(owner.substr(0, colon), false, uid) ||
        !parseOwnerPart(owner.substr(colon + 1), true, gid)) {
      error = "--owner \"" + owner + "\": expected USER:GROUP with known names or ids up to 65535";
      return false;
    }
    options.uid = uid;
    options.gid = gid;
  }
  if (args.has("mtime")) {
    std::uint32_t mtime = 0;
    if (!parseU32(args.value("mtime"), mtime)) {
      error = "--mtime \"" + args.value("mtime") + "\": expected seconds since 1970";
      return false;
    }
    options.mtime = mtime;
  }
  for (const std::string& text : args.values("variant")) {
    const std::size_t equals = text.rfind('=');
    std::uint32_t variant = 0;
    if (equals == std::string::npos || equals == 0 || !parseU32(text.substr(equals + 1), variant) ||
        variant == 0 || variant > 255) {
      error = "--variant \"" + text + "\": expected PATH=N with N from 1 to 255";
      return false;
    }
    std::string path = text.substr(0, equals);
    while (!path.empty() && path.front() == '/') path.erase(0, 1);
    while (!path.empty() && path.back() == '/') path.pop_back();
    options.variants[path] = std::uint8_t(variant);
  }
  return true;
}

bool readScript(const Arguments& args, const std::string& option,
                std::optional<std::string>& script, std::string& error) {
  if (!args.has(option)) return true;
  std::string text;
  if (!readWholeFile(args.value(option), text, error)) return false;
  script = std::move(text);
  return true;
}

}  // namespace

int runBuild(const std::vector<std::string>& argv) {
  std::vector<OptionInfo> optionTable = headerOptions();
  optionTable.insert(optionTable.end(), {{"output", 'o', true},
                             {"oninstall", 0, true},
                             {"onuninstall", 0, true},
                             {"owner", 0, true},
                             {"mtime", 0, true},
                             {"variant", 0, true},
                             {"alternate-magic", 0, false},
                             {"no-files", 0, false},
                             {"key", 'k', true}});
  Arguments args;
  std::string error;
  if (!args.parse(argv, optionTable, error))
    return report(statusUsage, error + " (see tpk build --help)");
  if (args.has("help")) {
    std::printf(usage, headerOptionsHelp, relationsHelp);
    return statusOk;
  }
  if (!args.has("output")) return report(statusUsage, "build: -o OUT is required");
  const bool noFiles = args.has("no-files");
  if (args.positional().size() != (noFiles ? 0u : 1u))
    return report(statusUsage, noFiles ? "build: --no-files takes no DIR"
                                       : "build: exactly one DIR is required (or --no-files)");
  pkgwriter::PackageLayout layout;
  TreeOptions treeOptions;
  if (!readHeaderOptions(args, layout, error) || !readTreeOptions(args, treeOptions, error))
    return report(statusUsage, "build: " + error);
  if (!readScript(args, "oninstall", layout.onInstall, error) ||
      !readScript(args, "onuninstall", layout.onUninstall, error))
    return report(statusFailed, "build: " + error);
  KeyBytes key;
  if (args.has("key") && !readSecretKey(args.value("key"), key, error))
    return report(statusFailed, "build: " + error);

  if (!noFiles) {
    pkgwriter::FileTreeBuilder tree;
    if (!scanTree(args.positional()[0], treeOptions, tree, error))
      return report(statusFailed, "build: " + error);
    if (tree.raw().size() > 0xFFFFFFF0u)
      return report(statusFailed, "build: the tree is too large");
    layout.fileTree = tree.compressed();
  } else if (!treeOptions.variants.empty()) {
    return report(statusUsage, "build: --variant needs a file tree");
  }
  // The file header is bound into the package, signed or not.
  const std::string body = pkgwriter::encodeParts(pkgwriter::packageParts(layout));
  const pkgwriter::TrailerSigner signer =
      args.has("key") ? trailerSigner(key) : pkgwriter::TrailerSigner();
  return writePackageOutput(
      args,
      [&](std::uint32_t magic) {
        return pkgwriter::bindFile({}, body, signer, {}, pkgwriter::packageBindingScope, magic);
      },
      "build");
}

}  // namespace tpk
