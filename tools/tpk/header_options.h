// The options that describe a package or bundle header, shared by "tpk build"
// and "tpk bundle": name, version, build time, texts, relations and flags.
#pragma once

#include <string>
#include <vector>

#include "pkgwriter/package_builder.h"
#include "tpk/command_line.h"

namespace tpk {

// The option specs read by readHeaderOptions.
std::vector<OptionSpec> headerOptionSpecs();

// Help lines for those options.
extern const char* const headerOptionsHelp;
extern const char* const relationsHelp;  // the relation syntax, printed last

// Fills header from args. The build time is --build-time, else the
// environment's SOURCE_DATE_EPOCH, else the current time. False with a
// message in error (a usage error).
bool readHeaderOptions(const Arguments& args, pkgwriter::HeaderSpec& header, std::string& error);

}  // namespace tpk
