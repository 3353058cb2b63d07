// The options that describe a package or bundle header, shared by "tpk build"
// and "tpk bundle": name, version, build time, texts, relations and flags.
#pragma once

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

// Puts the file header (the magic --alternate-magic selects) in front of body
// and writes the result to --output through a temporary file. Returns the
// command's exit status; errors are reported as "COMMAND: ...".
int writePackageOutput(const Arguments& args, const std::string& body, const char* command);

}  // namespace tpk
