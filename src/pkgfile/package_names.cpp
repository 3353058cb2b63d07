#include "pkgfile/package_names.h"

const char* nameRefusal(std::string_view name, NameUse use) {
  if (name.empty()) return "the name is empty";
  if (name.size() > maxNameLength) return "the name is longer than 16 bytes";
  // The loader passes over entries whose names begin with '.', so a package so
  // named would vanish from the installed set while its files stay.
  if (name.front() == '.') return "the name begins with \".\"";
  // The database files hold names as blank-separated words: a name with white
  // space in it would not read back as the one name it was written as.
  if (name.find_first_of(" \t\n\v\f\r") != std::string_view::npos)
    return "the name holds white space";
  if (name.find('\0') != std::string_view::npos) return "the name holds a NUL byte";
  if (use == NameUse::Package && name.find('/') != std::string_view::npos)
    return "the name holds \"/\"";
  return nullptr;
}
