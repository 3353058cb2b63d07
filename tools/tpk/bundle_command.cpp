// tpk bundle: a bundle of member package files under a header of its own.
#include <cstdio>

#include "pkgwriter/pkgwriter.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/file_io.h"
#include "tpk/header_options.h"
#include "tpk/member_package.h"
#include "tpk/package_signing.h"

namespace tpk {

namespace {

const char* const usage =
    "usage: tpk bundle -o OUT --name NAME --version VERSION [options] PACKAGE...\n"
    "\n"
    "Makes the bundle OUT of the member PACKAGE files, in the order given. Each\n"
    "member is copied unchanged from its header part on, so its signature stays\n"
    "valid; sign the members before bundling them (or sign the bundle after).\n"
    "With --key the bundle's file header and own parts are bound into the first\n"
    "member, which is signed again; without it they stay unbound, and an\n"
    "installer trusts them only so far, until tpk sign binds them.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE        the bundle file to write\n"
    "%s"
    "      --disabled NAME      install the member NAME disabled by default; repeatable\n"
    "      --alternate-magic    write the alternate file magic\n"
    "  -k, --key FILE           bind the bundle, signing its first member with this key\n"
    "%s";

}  // namespace

int runBundle(const std::vector<std::string>& argv) {
  std::vector<OptionInfo> optionTable = headerOptions();
  optionTable.insert(optionTable.end(), {{"output", 'o', true},
                                         {"disabled", 0, true},
                                         {"alternate-magic", 0, false},
                                         {"key", 'k', true}});
  Arguments args;
  std::string error;
  if (!args.parse(argv, optionTable, error))
    return report(statusUsage, error + " (see tpk bundle --help)");
  if (args.has("help")) {
    std::printf(usage, headerOptionsHelp, relationsHelp);
    return statusOk;
  }
  if (!args.has("output")) return report(statusUsage, "bundle: -o OUT is required");
  if (args.positional().empty()) return report(statusUsage, "bundle: no member PACKAGE given");
  pkgwriter::BundleLayout layout;
  if (!readHeaderOptions(args, layout, error)) return report(statusUsage, "bundle: " + error);
  KeyBytes key;
  if (args.has("key")) {
    if (!readSecretKey(args.value("key"), key, error))
      return report(statusFailed, "bundle: " + error);
    layout.binder = trailerSigner(key);
  }

  std::vector<std::string> names;
  for (const std::string& path : args.positional()) {
    MemberPackage member;
    const int memberStatus = readMemberPackage(path, member, error);
    if (memberStatus != statusOk) return report(memberStatus, "bundle: " + error);
    for (const std::string& name : names)
      if (name == member.name)
        return report(statusFailed, "bundle: two members are named \"" + name + "\"");
    names.push_back(member.name);
    layout.members.push_back(std::move(member.body));
  }
  const std::vector<std::string> disabled = args.values("disabled");
  if (!disabled.empty()) {
    layout.defaultDisabled.emplace();
    for (const std::string& name : disabled) {
      bool known = false;
      for (const std::string& m : names) known = known || m == name;
      if (!known)
        return report(statusUsage, "bundle: --disabled " + name + ": no member has that name");
      layout.defaultDisabled->push_back({.name = name});
    }
  }
  return writePackageOutput(
      args, [&](std::uint32_t magic) { return pkgwriter::buildBundleFile(layout, magic); },
      "bundle");
}

}  // namespace tpk
