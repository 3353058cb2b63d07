// Whole records and whole database trees as text, so that tests compare them
// at once with the expected texts in tests/data/pdb/.
#pragma once

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "model/package.h"
#include "support/scratch_dir.h"

namespace pdb_testing {

// Every field on one line: texts between |, lists as [name:min:max:extra ...],
// then the bundle the record came with, its files, its state and its action.
inline std::string describe(const InstalledPackage& p) {
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
  out << " in " << p.bundle.name << ':' << std::hex << p.bundle.min << ':' << p.bundle.max
      << std::dec << " {";
  for (const std::string& file : p.files) out << file << ' ';
  out << '}' << (p.disabled ? " disabled" : "") << (p.userForced ? " user" : "") << " action"
      << int(p.action);
  return out.str();
}

// One line per record, grouped by the bundle they came with (a record without
// one is its own group); within a group in the order loaded.
inline std::string loadedText(const PackageDb& db) {
  std::vector<const InstalledPackage*> records;
  for (const auto& record : db) records.push_back(record.get());
  const auto group = [](const InstalledPackage* p) {
    return p->bundle.name.empty() ? p->name : p->bundle.name;
  };
  std::stable_sort(records.begin(), records.end(),
                   [&](auto* a, auto* b) { return group(a) < group(b); });
  std::string text;
  for (const InstalledPackage* p : records) text += describe(*p) + "\n";
  return text;
}

// Every file below dir, sorted by path: "== path" and then its exact bytes
// (but for package images, which are inputs).
inline std::string treeText(const std::string& dir) {
  std::vector<std::filesystem::path> files;
  std::error_code missing;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, missing))
    if (!entry.is_directory()) files.push_back(entry.path().lexically_relative(dir));
  std::sort(files.begin(), files.end());
  std::string text;
  for (const auto& file : files)
    text +=
        "== " + file.string() +
        (file.filename() == "image" ? " (not shown)\n"
                                    : "\n" + testing_support::readFile(dir + "/" + file.string()));
  return text;
}

inline std::string expected(const std::string& name) {
  return testing_support::readFile(std::string(TEST_DATA_DIR) + "/pdb/" + name);
}

// Writes the files of a tree text below root (text before the first "== " is a
// comment). "== dir/" makes a directory; "== path < name [n]" writes the first
// n bytes of a sample package; a file whose text ends in "\\" and a line break
// ends without either.
inline void plantTree(const std::string& root, const std::string& text) {
  std::size_t at = 0;
  while ((at = text.find("\n== ", at)) != std::string::npos) {
    const std::size_t eol = text.find('\n', at + 1);
    const std::size_t end = text.find("\n== ", eol),
                      next = end == std::string::npos ? text.size() : end;
    std::string path = text.substr(at + 4, eol - at - 4),
                content = text.substr(eol + 1, next - eol);
    if (content.ends_with("\\\n")) content.resize(content.size() - 2);
    if (const auto from = path.find(" < "); from != std::string::npos) {
      std::istringstream sample(path.substr(from + 3));
      std::string name;
      std::size_t length = std::string::npos;
      sample >> name >> length;
      content = testing_support::readFile(std::string(TEST_DATA_DIR) + "/packages/" + name)
                    .substr(0, length);
      path.resize(from);
    }
    testing_support::makeDirs(root + "/" + path.substr(0, path.rfind('/')));
    if (!path.ends_with('/')) testing_support::writeFile(root + "/" + path, content);
    at = next;
  }
}

}  // namespace pdb_testing
