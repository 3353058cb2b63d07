// The options that describe a package or bundle header, shared by "tpk build"
// and "tpk bundle": name, version, build time, texts, relations and flags.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pkgwriter/package_builder.h"
#include "tpk/command_line.h"

namespace tpk {

// The option optionTable read by readHeaderOptions.
std::vector<OptionInfo> headerOptions();

// Help lines for those options.
extern const char* const headerOptionsHelp;
extern const char* const relationsHelp;  // the relation syntax, printed last

// Fills header from args. The build time is --build-time, else the
// environment's SOURCE_DATE_EPOCH, else the current time. False with a
// message in error (a usage error).
bool readHeaderOptions(const Arguments& args, pkgwriter::HeaderLayout& header, std::string& error);

// Writes the file that makeFile makes for the magic --alternate-magic selects
// to --output through a temporary file. Returns the command's exit status;
// errors (makeFile giving nothing: signing failed) are reported as
// "COMMAND: ...".
int writePackageOutput(const Arguments& args,
                       const std::function<std::string(std::uint32_t magic)>& makeFile,
                       const char* command);

}  // namespace tpk
