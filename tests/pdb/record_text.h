// Every field of a record on one line, so that tests compare whole records:
// texts between |, lists as name:min:max:extra, then for a database record the
// bundle it came with, its files, its state and its scheduled action.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "model/package.h"

namespace pdb_testing {

inline std::string listText(const std::vector<Dependency>& list) {
  std::ostringstream out;
  out << '[';
  for (const Dependency& d : list) out << d.name << ':' << d.min << ':' << d.max << ':' << d.extra << ' ';
  out << ']';
  return out.str();
}

// The fields a package file's header parts give.
inline std::string headerText(const Package& p) {
  std::ostringstream out;
  out << p.name << ' ' << std::hex << p.version << std::dec << ' ' << p.buildTime << " f" << p.flags
      << ' ' << p.architecture << '|' << p.text24 << '|' << p.text2 << '|' << p.note << '|'
      << (p.isImage ? " image" : "") << (p.isBundle ? " bundle" : "");
  for (const auto* list : {&p.deps, &p.provides, &p.conflicts}) out << ' ' << listText(*list);
  return out.str();
}

inline std::string describe(const InstalledPackage& p) {
  std::ostringstream out;
  out << headerText(p) << " in " << p.bundle.name << ':' << std::hex << p.bundle.min << ':'
      << p.bundle.max << std::dec << " {";
  for (const std::string& file : p.files) out << file << ' ';
  out << '}' << (p.disabled ? " disabled" : "") << (p.userForced ? " user" : "") << " action"
      << int(p.action);
  return out.str();
}

}  // namespace pdb_testing
