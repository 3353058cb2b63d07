// What the installation tests share: packages made with the project's writer,
// the calls that feed them to the code under test, a working bash below a
// scratch root, and a fingerprint of everything outside a root's /flash.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.h"
#include "install/file_extraction.h"
#include "install/package_install.h"
#include "model/package.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/pkgwriter.h"

namespace install_testing {

namespace fs = std::filesystem;

constexpr std::uint32_t testVersion = 0x01006600;  // "1.0"

// A package named name holding tree, signed with the development key.
inline pkgwriter::PackageLayout signedLayout(const std::string& name,
                                             const pkgwriter::FileTreeBuilder& tree) {
  pkgwriter::PackageLayout layout;
  layout.name = name;
  layout.version = testVersion;
  layout.buildTime = 1700000000;
  layout.fileTree = tree.compressed();
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

// Extracts the file tree of file, the stream placed on its tree part.
inline bool extractTree(Console& console, InstalledPackage& package, const std::string& file) {
  std::istringstream input(file);
  PartStream stream(input, true);
  stream.wanted = {partFileTree};
  EXPECT_EQ(partFileTree, stream.next());
  return extractFiles(console, package, stream);
}

// Reads the header parts of file into package and installs it, as the
// transactions do.
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
  std::FILE* ldd = ::popen("ldd /bin/bash", "r");
  char line[512];
  while (ldd != nullptr && std::fgets(line, sizeof line, ldd)) {
    std::istringstream words(line);
    for (std::string word; words >> word;)
      if (word[0] == '/') files.push_back(word);
  }
  if (ldd != nullptr) ::pclose(ldd);
  ASSERT_GT(files.size(), 1u) << "ldd named no library of /bin/bash";
  for (const std::string& file : files) {
    fs::create_directories(dir + fs::path(file).parent_path().string());
    fs::copy_file(file, dir + file, fs::copy_options::overwrite_existing);
  }
  fs::create_directories(dir + "/dev");
}

// lstat; every field all-ones when there is nothing at path.
inline struct stat statOf(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) std::memset(&info, 0xFF, sizeof info);
  return info;
}

// Path, type and mode, size, owner and modification time of root and of
// everything below it but root/flash, one line each.
inline std::string outsideFlash(const std::string& root) {
  std::set<std::string> lines;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
    if (it->path() == fs::path(root) / "flash") it.disable_recursion_pending();
    lines.insert(it->path().string());
  }
  lines.insert(root);
  lines.erase(root + "/flash");
  std::ostringstream text;
  for (const std::string& path : lines) {
    const struct stat info = statOf(path);
    text << path << ' ' << std::oct << info.st_mode << std::dec << ' ' << info.st_size << ' '
         << info.st_uid << ':' << info.st_gid << ' ' << info.st_mtim.tv_sec << '.'
         << info.st_mtim.tv_nsec << '\n';
  }
  return text.str();
}

}  // namespace install_testing
