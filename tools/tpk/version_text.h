// Reading release numbers written the way the installer prints them:
// "6.41", "6.41.3", "6.42beta5", "6.42rc", "3.20rc1", "6.42alpha1".
#pragma once

#include <string_view>

#include "model/version.h"

namespace tpk {

// major "." minor, then optionally "." build (final release) or a kind word
// ("alpha", "beta", "rc") followed by an optional build. Every number is
// decimal, 0 to 255. False for anything else.
bool parseVersionText(std::string_view text, Version& version);

}  // namespace tpk
