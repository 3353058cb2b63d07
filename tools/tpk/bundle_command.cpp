// tpk bundle: a bundle of member package files under a header of its own.
#include <cstdio>

#include "pkgwriter/pkgwriter.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/file_io.h"
#include "tpk/header_options.h"
#include "tpk/member_package.h"

namespace tpk {

namespace {

const char* const usage =
    "usage: tpk bundle -o OUT --name NAME --version VERSION [options] PACKAGE...\n"
    "\n"
    "Makes the bundle OUT of the member PACKAGE files, in the order given. Each\n"
    "member is copied unchanged from its header part on, so its signature stays\n"
    "valid; sign the members before bundling them (or sign the bundle after).\n"
    "\n"
    "options:\n"
    "  -o, --output FILE        the bundle file to write\n"
    "%s"
    "      --disabled NAME      install the member NAME disabled by default; repeatable\n"
    "      --alternate-magic    write the alternate file magic\n"
    "%s";

}  // namespace

int runBundle(const std::vector<std::string>& argv) {
  std::vector<OptionInfo> optionTable = headerOptions();
  optionTable.insert(optionTable.end(),
               {{"output", 'o', true}, {"disabled", 0, true}, {"alternate-magic", 0, false}});
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
  const std::string body = pkgwriter::buildBundleBody(layout);
  return writePackageOutput(args, body, "bundle");
}

}  // namespace tpk
