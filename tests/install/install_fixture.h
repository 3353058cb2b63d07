// What the installation tests share: packages made with the project's writer from
// one-line trees, the calls that feed them to the code under test, a working bash
// below a scratch root, and listings of what a root holds.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "install/file_extraction.h"
#include "install/package_install.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/pkgwriter.h"
#include "support/chroot_runner.h"
#include "support/installer_process.h"

namespace install_testing {

namespace fs = std::filesystem;
using pkgwriter::FileTreeBuilder;
using testing_support::childConsole;
using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::readFile;
using testing_support::writeFile;
using Messages = std::vector<std::string>;

constexpr std::uint32_t testVersion = 0x01006600;  // "1.0"

// "%N": N patterned bytes; "c*N": N times c; "\0" and "\n" stand for a NUL and a line break.
inline std::string expand(const std::string& text) {
  if (text.size() > 1 && text[0] == '%') {
    std::string bytes(std::stoul(text.substr(1)), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 16384);
    return bytes;
  }
  if (text.size() > 2 && text[1] == '*') return std::string(std::stoul(text.substr(2)), text[0]);
  std::string out = text;
  for (std::size_t at; (at = out.find("\\0")) != std::string::npos;) out.replace(at, 2, 1, '\0');
  for (std::size_t at; (at = out.find("\\n")) != std::string::npos;) out.replace(at, 2, 1, '\n');
  return out;
}

// The fields of text between separators, at least count of them.
inline std::vector<std::string> fieldsOf(const std::string& text, char separator,
                                         std::size_t count) {
  std::vector<std::string> fields(1);
  for (char c : text) c == separator ? fields.emplace_back() : fields.back() += c;
  if (fields.size() < count) fields.resize(count);
  return fields;
}

// Entries "mode:name[:data[:uid,gid,time,variant]]" (mode in octal with the type
// bits, a device's data "0x..." its number) separated by blanks; "-N" takes N
// bytes off the end of the entries so far.
inline FileTreeBuilder treeOf(const std::string& description) {
  FileTreeBuilder tree;
  std::istringstream tokens(description);
  for (std::string token; tokens >> token;) {
    const std::string raw = tree.raw();
    if (token[0] == '-')
      tree = FileTreeBuilder().addBytes(raw.substr(0, raw.size() - std::stoul(token.substr(1))));
    if (token[0] == '-') continue;
    const std::vector<std::string> f = fieldsOf(token, ':', 4);
    const auto mode = std::uint16_t(std::stoul(f[0], nullptr, 8));
    std::string data = expand(f[2]);
    if ((mode & 0xB000) == 0x2000 && data.starts_with("0x"))  // a character or block device
      data = FileTreeBuilder()
                 .addCharDevice("", std::stoul(data, nullptr, 16))
                 .raw()
                 .substr(pkgwriter::treeEntryHeaderSize);
    pkgwriter::EntryAttributes a;
    std::sscanf(f[3].c_str(), "%hu,%hu,%u,%hhu", &a.uid, &a.gid, &a.time, &a.variant);
    tree.addRaw(mode, expand(f[1]), data, a);
  }
  return tree;
}

// Writes each "path=contents" of files ('|' between them) below root.
inline void plant(const DeviceRoot& root, const std::string& files) {
  for (const std::string& file : fieldsOf(files, '|', 0)) {
    const std::string path = root.at(file.substr(0, file.find('=')));
    makeDirs(fs::path(path).parent_path());
    writeFile(path, expand(file.substr(file.find('=') + 1)));
  }
}

// A package named name holding the tree that tree describes, signed with the
// development key.
inline pkgwriter::PackageLayout signedLayout(const std::string& name, const std::string& tree) {
  pkgwriter::PackageLayout layout;
  layout.name = name;
  layout.version = testVersion;
  layout.buildTime = 1700000000;
  layout.fileTree = treeOf(tree).compressed();
  layout.signer = pkgwriter::keyFileSigner(std::string(TEST_DATA_DIR) + "/dev-signer.secret");
  return layout;
}

// Made outside the chroot: the signer reads its key file.
inline std::string packageFile(const pkgwriter::PackageLayout& layout,
                               std::uint32_t magic = pkgwriter::standardMagic) {
  const std::string file = pkgwriter::buildPackageFile(layout, magic);
  EXPECT_FALSE(file.empty()) << "the writer could not sign";
  return file;
}

// The text of TEST_DATA_DIR/install/name; lines, but blank ones and comments.
inline std::string dataText(const std::string& name) {
  std::ifstream in(std::string(TEST_DATA_DIR) + "/install/" + name);
  EXPECT_TRUE(in) << name;
  return {std::istreambuf_iterator<char>(in), {}};
}
inline std::vector<std::string> dataLines(const std::string& name) {
  std::vector<std::string> lines;
  for (const std::string& line : fieldsOf(dataText(name), '\n', 0))
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}

// Extracts the file tree of file, the stream placed on its tree part.
inline bool extractTree(Console& console, InstalledPackage& package, const std::string& file) {
  std::istringstream input(file);
  PartStream stream(input, true);
  stream.wanted = {partFileTree};
  EXPECT_EQ(partFileTree, stream.next());
  return extractFiles(console, package, stream);
}

// Reads the header parts of file into package and installs it, as the transactions do.
inline bool installFile(Console& console, InstalledPackage& package, const std::string& file) {
  std::istringstream input(file);
  PartStream stream(input, true);
  stream.wanted = {partPackage,  partText24,        partArchitecture,    partText2,
                   partNote,     partDependencies,  partProvides,        partConflicts,
                   partImage,    partInstallScript, partUninstallScript, partFileTree,
                   partSignature};
  stream.next();
  EXPECT_TRUE(readHeaderParts(package, stream));
  return installPackage(console, package, stream);
}
// Copies /bin/bash and the libraries ldd names to the same paths below dir,
// and makes dir/dev, so that scripts can run in a child whose root is dir.
inline void placeShell(const std::string& dir) {
  std::vector<std::string> files = {"/bin/bash"};
  std::FILE* ldd = ::popen("ldd /bin/bash | grep -o '/[^ ]*'", "r");
  for (char line[512]; ldd != nullptr && std::fgets(line, sizeof line, ldd);)
    files.push_back(std::strtok(line, "\n"));
  if (ldd != nullptr) ::pclose(ldd);
  ASSERT_GT(files.size(), 1u) << "ldd named no library of /bin/bash";
  for (const std::string& file : files) {
    fs::create_directories(dir + fs::path(file).parent_path().string());
    fs::copy_file(file, dir + file, fs::copy_options::overwrite_existing);
  }
  fs::create_directories(dir + "/dev");
}

// A line per object in dir, stated before it is read, but skip: path, mode, owner,
// times (exact: the modification time in nanoseconds; else both, recent ones as
// "now"), then its contents (short texts as they are), link target or device.
inline std::string listing(const std::string& dir, const std::string& skip = "",
                           bool exact = false) {
  std::map<std::string, std::string> lines;
  const auto add = [&](const std::string& path) {
    struct stat info;  // every field all-ones when there is nothing at path
    if (::lstat(path.c_str(), &info) != 0) std::memset(&info, 0xFF, sizeof info);
    std::ostringstream text;
    text << (path == dir ? "." : path.substr(dir.size())) << ' ' << std::oct << info.st_mode
         << std::dec << ' ' << info.st_uid << ':' << info.st_gid;
    if (exact) text << ' ' << info.st_mtim.tv_sec << '.' << info.st_mtim.tv_nsec;
    for (const time_t t : {info.st_mtime, info.st_atime})
      if (!exact) text << ' ' << (t > 1600000000 ? "now" : std::to_string(t));
    if (S_ISLNK(info.st_mode)) text << " -> " << fs::read_symlink(path).string();
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) text << " dev " << std::hex << info.st_rdev;
    const std::string data = S_ISREG(info.st_mode) ? readFile(path) : "";
    std::uint64_t hash = 14695981039346656037u;
    for (unsigned char c : data) hash = (hash ^ c) * 1099511628211u;
    const auto plain = [](unsigned char c) {
      return c == '\n' || (std::isprint(c) && c != '"' && c != '\\');
    };
    if (data.size() > 32 || !std::all_of(data.begin(), data.end(), plain))
      text << ' ' << data.size() << " bytes, hash " << hash;
    else if (S_ISREG(info.st_mode)) {
      text << " \"";
      for (char c : data) text << (c == '\n' ? std::string("\\n") : std::string(1, c));
      text << '"';
    }
    lines[path] = text.str() + '\n';
  };
  add(dir);
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::end(it); ++it) {
    if (it->path() == skip)
      it.disable_recursion_pending();
    else
      add(it->path().string());
  }
  std::string text;
  for (const auto& [path, line] : lines) text += line;
  return text;
}

// Everything of root but root/flash, to the nanosecond.
inline std::string outsideFlash(const std::string& root) {
  return listing(root, root + "/flash", true);
}

}  // namespace install_testing
