// Feeds arbitrary bytes to the database loader. The input is unpacked into a
// scratch database, then loaded as at start-up. It is a sequence of entries
// as unpackEntries (scratch_root.h) decodes them, kind modulo 12, where kind
// 11 is an empty entry directory. The loader works
// on absolute paths, so at the first input the process changes its root to a
// scratch directory and keeps it for good; the working directory stays
// outside, so that the fuzzing engine's relative paths (corpus, artifacts)
// still reach it: run it with relative paths. After the
// load every record must have a plain name and "/"-prefixed files, and every
// record but a placeholder must have consumed its schedule file.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "console/console.h"
#include "fuzz_check.h"
#include "pdb/database_loader.h"
#include "pdb/package_dir.h"
#include "scratch_root.h"

namespace {

// Kind 11: an empty entry directory.
void putEmptyEntry(unsigned, const std::string& name, const std::string&) {
  makeDirs("/flash/var/pdb/" + name);
}

ssize_t discard(void*, const char*, std::size_t size) { return ssize_t(size); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  enterScratchRoot();
  const int root = ::open("/", O_RDONLY | O_DIRECTORY);
  CHECK(root >= 0);
  for (const char* top : {"flash", "ram", "rw"}) removeTree(root, top);
  ::close(root);
  makeDirs("/flash/var/pdb");
  makeDirs("/ram/pdb");
  makeDirs("/rw/pckg/.images");
  unpackEntries(data, size, 12, putEmptyEntry);

  static std::FILE* const sink = ::fopencookie(nullptr, "w", {nullptr, discard, nullptr, nullptr});
  Console console(sink);
  loadDatabase(console, false, "i386");
  for (const auto& record : console.packages) {
    CHECK(isPlainName(record->name));
    for (const std::string& file : record->files) CHECK(!file.empty() && file[0] == '/');
    const bool placeholder =
        record->version == placeholderRelease && record->buildTime == placeholderRelease;
    if (!placeholder) {
      CHECK(::access(("/ram/pdb/" + record->name + "/schedule").c_str(), F_OK) != 0);
    }
  }
  return 0;
}
