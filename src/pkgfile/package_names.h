// The names a package file carries: its own, its bundle members' and those of
// its relations. They are untrusted, and the database stores them as words of
// its text files and as directory names; the header reader takes a name only
// when the database can hold it, and tpk refuses at build time, by this same
// rule, what the reader would refuse.
#pragma once

#include <cstddef>
#include <string_view>

// Names are fixed 16-byte fields of the package file.
constexpr std::size_t maxNameLength = 16;

enum class NameUse {
  // A dependency, provides, conflicts or default-disabled entry: one word of a
  // database file.
  Relation,
  // A package or bundle member: also the name of its own database entry.
  Package,
};

// Why the reader refuses name for that use, or nullptr when it takes it.
const char* nameRefusal(std::string_view name, NameUse use);
