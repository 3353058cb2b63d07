// Extracts arbitrary file trees through the installer's own extraction into
// a scratch root. The first input byte chooses how the rest becomes the tree
// part's payload and what the package is:
//   bit 0  clear: the rest is the tree's entries, compressed here;
//          set: the rest is the compressed payload as it stands
//   bit 1  the package is disabled (its tree goes below /flash/x/NAME)
//   bit 2  /flash already holds a directory "etc" and a file "etc/keep"
// Beside /flash the scratch root holds /outside (a file, a directory) and
// /flash holds links that point there ("out" absolute, "up" relative). After
// each extraction nothing outside /flash may have changed, and every file the
// package records must name something that exists below its tree, as it is
// recorded. /flash is
// cleared for the next input. Run it with relative paths (see the database
// loader's target: the root is changed at the first input).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "install/file_extraction.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/file_tree_builder.h"
#include "pkgwriter/part_encoding.h"
#include "scratch_root.h"

namespace {

const char outsideContent[] = "canary\n";

std::string packageWithTree(const std::string& payload) {
  const std::string part = pkgwriter::encodePart(pkgwriter::FileTreePart, payload);
  return pkgwriter::encodeFileHeader(pkgwriter::standardMagic, std::uint32_t(part.size())) + part;
}

void prepareRoot(bool withEtc) {
  const int root = ::open("/", O_RDONLY | O_DIRECTORY);
  CHECK(root >= 0);
  removeTree(root, "flash");
  ::close(root);
  makeDirs("/flash");
  CHECK(::symlink("/outside", "/flash/out") == 0);
  CHECK(::symlink("../outside", "/flash/up") == 0);
  if (withEtc) {
    makeDirs("/flash/etc");
    CHECK(writeFile("/flash/etc/keep", "kept\n", 5));
  }
}

const std::string& outsideBefore() {
  static const std::string before = [] {
    makeDirs("/outside/dir");
    CHECK(writeFile("/outside/canary", outsideContent, sizeof outsideContent - 1));
    return describeTree("/outside");
  }();
  return before;
}

ssize_t discard(void*, const char*, std::size_t size) { return ssize_t(size); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  enterScratchRoot();
  const std::string& before = outsideBefore();
  const std::uint8_t mode = data[0];
  prepareRoot(mode & 4);

  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::istringstream file(packageWithTree(mode & 1 ? rest : pkgwriter::zlibCompress(rest, 1)));
  PartStream stream(file, false);
  stream.wanted = {pkgwriter::FileTreePart};
  CHECK(stream.next() == pkgwriter::FileTreePart);

  static std::FILE* const sink = ::fopencookie(nullptr, "w", {nullptr, discard, nullptr, nullptr});
  Console console(sink);
  InstalledPackage package("fuzzed");
  package.disabled = mode & 2;
  static_cast<void>(extractFiles(console, package, stream));

  CHECK(describeTree("/outside") == before);
  const std::string tree = package.disabled ? "/flash/x/fuzzed" : "/flash";
  for (const std::string& recorded : package.files) {
    CHECK(recorded.starts_with(package.disabled ? "/x/fuzzed/" : "/"));
    struct stat status;
    CHECK(::lstat(("/flash" + recorded).c_str(), &status) == 0);
  }
  return 0;
}
