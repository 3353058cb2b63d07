#include "pkgfile/package_names.h"

const char* nameRefusal(std::string_view name, NameUse use) {
  if (name.empty()) return "the name is empty";
  if (name.size() > maxNameLength) return "the name is longer than 16 bytes";
  // The loader passes over entries whose names begin with '.', so a package so
  // named would vanish from the installed set while its files stay.
  if (name.front() == '.') return "the name begins with \".\"";
  // The database files hold names as blank-separated words: a name with white
  // space in it would not read back as the one name it was written as. Other
  // control characters would reach the terminal raw through the listing.
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F) return "the name holds white space or a control character";
  }
  if (use == NameUse::Package && name.find('/') != std::string_view::npos)
    return "the name holds \"/\"";
  return nullptr;
}
