// Feeds arbitrary bytes to the database loader. The input is unpacked into a
// scratch database, then loaded as at start-up. It is a sequence of entries:
//   kind (1 byte), name length (1 byte, low 5 bits), name, content length
//   (2 bytes, little-endian), content (cut where the input ends)
// where kind modulo 12 says what the content becomes:
//   0-8  the entry's meta file version, files, deps, provides, conflicts,
//        bundle, disabled, enabled or image in /flash/var/pdb/NAME/
//   9    its schedule file /ram/pdb/NAME/schedule
//   10   its image in the second place, /rw/pckg/.images/NAME
//   11   an empty entry directory
// Names that could not be a directory entry are passed over. The loader works
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

#include "fuzz_check.h"
#include "console/console.h"
#include "pdb/database_loader.h"
#include "pdb/package_dir.h"
#include "scratch_root.h"

namespace {

void putFile(const std::string& path, const std::uint8_t* bytes, std::size_t length) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  CHECK(::write(fd, bytes, length) == ssize_t(length));
  ::close(fd);
}

void unpack(const std::uint8_t* data, std::size_t size) {
  static const char* const metaFiles[] = {"version", "files",    "deps",    "provides", "conflicts",
                                          "bundle",  "disabled", "enabled", "image"};
  std::size_t at = 0;
  while (size - at >= 2) {
    const unsigned kind = data[at] % 12;
    const std::size_t nameLength = data[at + 1] & 31;
    at += 2;
    if (size - at < nameLength) return;
    const std::string name(reinterpret_cast<const char*>(data + at), nameLength);
    at += nameLength;
    std::size_t length = 0;
    if (size - at >= 2) length = data[at] | std::size_t(data[at + 1]) << 8;
    at += size - at >= 2 ? 2 : size - at;
    if (length > size - at) length = size - at;
    const std::uint8_t* content = data + at;
    at += length;
    if (!isPlainName(name)) continue;
    const std::string entry = "/flash/var/pdb/" + name;
    if (kind < 9) {
      makeDirs(entry);
      putFile(entry + "/" + metaFiles[kind], content, length);
    } else if (kind == 9) {
      makeDirs("/ram/pdb/" + name);
      putFile("/ram/pdb/" + name + "/schedule", content, length);
    } else if (kind == 10) {
      putFile("/rw/pckg/.images/" + name, content, length);
    } else {
      makeDirs(entry);
    }
  }
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
  unpack(data, size);

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
