// Dependencies, provides and conflicts written as text:
//   name                  any version
//   name>=6.41            at least 6.41
//   name<=6.49            at most 6.49
//   name=6.42             exactly 6.42
//   name>=6.41,<=6.49     a range
// A provides entry may end in ":extra", a signed decimal (smp-api>=1.0:-1).
#pragma once

#include <string>
#include <string_view>

#include "pkgwriter/part_encoding.h"

namespace tpk {

// False with a reason in error when text is malformed or names what no package
// could be named (nameRefusal, for a package). The ":extra" suffix is accepted
// only with allowExtra.
bool parseRelation(std::string_view text, bool allowExtra, pkgwriter::ListEntry& entry,
                   std::string& error);

// The same syntax back, from bounds: name, name>=min, name<=max, name=v or
// name>=min,<=max, and ":extra" when extra is not 0.
std::string relationText(const std::string& name, std::uint32_t min, std::uint32_t max,
                         std::int32_t extra);

}  // namespace tpk
