// The fields a package file's header parts give, on one line: texts between |,
// lists as [name:min:max:extra ...].
#pragma once

#include <sstream>

#include "model/package.h"

inline std::string headerText(const Package& p) {
  std::ostringstream out;
  out << p.name << ' ' << std::hex << p.version << std::dec << ' ' << p.buildTime << " f" << p.flags
      << ' ' << p.architecture << '|' << p.text24 << '|' << p.text2 << '|' << p.note << '|'
      << (p.isImage ? " image" : "") << (p.isBundle ? " bundle" : "");
  for (const auto* list : {&p.deps, &p.provides, &p.conflicts}) {
    out << " [";
    for (const Dependency& d : *list)
      out << d.name << ':' << d.min << ':' << d.max << ':' << d.extra << ' ';
    out << ']';
  }
  return out.str();
}
