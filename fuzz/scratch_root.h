// What the fuzz targets that work on absolute paths share: a scratch root of
// their own, entered once, and the means to clear and fill it between inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Changes root, once, to a fresh directory on a file system of its own: in a
// private mount namespace (and a user namespace when the process may not make
// one otherwise) a tmpfs covers /tmp, and /proc is bound in for the
// sanitizers. Nothing is written outside it, and it is gone with the process.
// Exits with 77 when that is not allowed here.
void enterScratchRoot();

// Removes name below the directory parent, with everything in it, staying on
// the parent's file system. False when something could not be removed.
bool removeTree(int parent, const char* name);

// Makes path and every missing level above it.
void makeDirs(const std::string& path);

// Writes the file whole (creating or truncating it); false when it cannot.
bool writeFile(const std::string& path, const void* bytes, std::size_t length);

// The file's bytes, or "\n<missing>" when it cannot be read.
std::string readFile(const std::string& path);

// Decodes the entries of a scratch device from data:
//   kind (1 byte), name length (1 byte, low 5 bits), name, content length
//   (2 bytes, little-endian), content (cut where the input ends)
// Names that could not be a directory entry are passed over. Kinds 0-10 are
// placed here (kind modulo kinds):
//   0-8  the entry's meta file version, files, deps, provides, conflicts,
//        bundle, disabled, enabled or image in /flash/var/pdb/NAME/
//   9    its schedule file /ram/pdb/NAME/schedule
//   10   its image in the second place, /rw/pckg/.images/NAME
// and the others handed to other(kind, name, content).
using OtherEntry =
    std::function<void(unsigned kind, const std::string& name, const std::string& content)>;
void unpackEntries(const std::uint8_t* data, std::size_t size, unsigned kinds,
                   const OtherEntry& other);

// A description of everything below path (names, types, modes, sizes, link
// targets, file contents), not following links: equal before and after
// means nothing there changed.
std::string describeTree(const std::string& path);
