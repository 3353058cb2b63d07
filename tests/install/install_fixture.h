// Shared by the installation tests: packages from one-line trees, fake devices, listings.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "files/device_root.h"
#include "files/file_platform.h"
#include "install/file_extraction.h"
#include "install/flash_platform.h"
#include "install/install_platform.h"
#include "install/package_install.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/pkgwriter.h"
#include "support/captured_console.h"
#include "support/device_tree.h"
#include "support/fake_flash.h"
#include "support/fingerprint.h"
#include "support/installer_process.h"

namespace install_testing {

namespace fs = std::filesystem;
using namespace testing_support;
using pkgwriter::FileTreeBuilder;
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
  replaceAll(out, "\\0", std::string(1, '\0'));
  replaceAll(out, "\\n", "\n");
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
    if (token[0] == '-') {
      tree = FileTreeBuilder().addBytes(raw.substr(0, raw.size() - std::stoul(token.substr(1))));
      continue;
    }
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

// The package file of layout; one the writer could not make fails the test.
inline std::string packageFile(const pkgwriter::PackageLayout& layout,
                               std::uint32_t magic = pkgwriter::standardMagic) {
  const std::string file = pkgwriter::buildPackageFile(layout, magic);
  EXPECT_FALSE(file.empty()) << "the writer could not sign";
  return file;
}

// Feeds file to the code under test as the transactions do: the header parts read into
// package, then installPackage; with treeOnly the stream on its tree part for extractFiles.
inline InstallStep installFile(Console& console, InstalledPackage& package, const std::string& file,
                               bool treeOnly = false, RunFlags runFlags = 0) {
  std::istringstream input(file);
  PartStream stream(input, true);
  stream.wanted = {partFileTree};
  if (treeOnly) {
    EXPECT_EQ(partFileTree, stream.next());
    return extractFiles(console, package, stream);
  }
  stream.wanted = {partPackage,  partText24,        partArchitecture,    partText2,
                   partNote,     partDependencies,  partProvides,        partConflicts,
                   partImage,    partInstallScript, partUninstallScript, partFileTree,
                   partSignature};
  stream.next();
  EXPECT_EQ(readHeaderParts(package, stream), ReadResult::Read);
  return installPackage(console, package, stream, runFlags);
}

// The device's own file calls but for fault: "node" makes device nodes fail with
// EIO, "full" writes and "nodir" directories with ENOSPC; syncs are counted.
struct FaultyFiles : DeviceFilePlatform {
  std::string fault;
  int syncs = 0;
  void syncAll() override { ++syncs; }
  int makeNodeAt(int dir, const char* name, mode_t mode, dev_t dev) override {
    return fault == "node" ? (errno = EIO, -1)
                           : DeviceFilePlatform::makeNodeAt(dir, name, mode, dev);
  }
  ssize_t write(int fd, const void* bytes, std::size_t count) override {
    return fault == "full" ? (errno = ENOSPC, -1) : DeviceFilePlatform::write(fd, bytes, count);
  }
  int makeDirAt(int dir, const char* name, mode_t mode) override {
    return fault == "nodir" ? (errno = ENOSPC, -1) : DeviceFilePlatform::makeDirAt(dir, name, mode);
  }
};

// A line per object in dir, stated before it is read: path, mode, owner, times (both,
// recent ones as "now"), then its contents (short texts as they are), link target or
// device. The running user owns as root does: a run without privileges cannot give
// a package's objects to root, and one as root checks the owners whole.
inline std::string listing(const std::string& dir) {
  std::map<std::string, std::string> lines;
  const auto add = [&](const std::string& path) {
    struct stat info;  // every field all-ones when there is nothing at path
    if (::lstat(path.c_str(), &info) != 0) std::memset(&info, 0xFF, sizeof info);
    std::ostringstream text;
    text << (path == dir ? "." : path.substr(dir.size())) << ' ' << std::oct << info.st_mode
         << std::dec << ' ' << (info.st_uid == ::geteuid() ? 0 : info.st_uid) << ':'
         << (info.st_gid == ::getegid() ? 0 : info.st_gid);
    for (const time_t t : {info.st_mtime, info.st_atime})
      text << ' ' << (t > 1600000000 ? "now" : std::to_string(t));
    if (S_ISLNK(info.st_mode)) text << " -> " << fs::read_symlink(path).string();
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) text << " dev " << std::hex << info.st_rdev;
    const std::string data = S_ISREG(info.st_mode) ? readFile(path) : "";
    std::uint64_t hash = 14695981039346656037u;
    bool plain = data.size() <= 32;
    std::string shown;
    for (unsigned char c : data) {
      hash = (hash ^ c) * 1099511628211u;
      plain = plain && (c == '\n' || (std::isprint(c) && c != '"' && c != '\\'));
      shown += c == '\n' ? std::string("\\n") : std::string(1, char(c));
    }
    if (!plain) text << ' ' << data.size() << " bytes, hash " << hash;
    if (plain && S_ISREG(info.st_mode)) text << " \"" << shown << '"';
    lines[path] = text.str() + '\n';
  };
  add(dir);
  for (const auto& entry : fs::recursive_directory_iterator(dir)) add(entry.path().string());
  std::string text;
  for (const auto& [path, line] : lines) text += line;
  return text;
}

}  // namespace install_testing
