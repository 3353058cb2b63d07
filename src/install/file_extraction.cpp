#include "install/file_extraction.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "install/flash_queries.h"
#include "install/install_platform.h"
#include "pdb/install_messages.h"
#include "pdb/make_directories.h"
#include "pdb/package_dir.h"
#include "pkgfile/inflate_stream.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/tree_entry.h"

namespace {

constexpr std::size_t dataChunk = 16384;
// A name or link target longer than any path is refused before anything is
// allocated for it.
constexpr std::uint32_t longestText = PATH_MAX;

std::uint16_t u16At(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t u32At(const unsigned char* bytes) {
  return std::uint32_t(bytes[0]) | (std::uint32_t(bytes[1]) << 8) |
         (std::uint32_t(bytes[2]) << 16) | (std::uint32_t(bytes[3]) << 24);
}

// The fields of a 30-byte entry header that the extractor uses.
struct EntryHeader {
  explicit EntryHeader(const unsigned char* bytes)
      : mode(u16At(bytes)),
        uid(u16At(bytes + 2)),
        gid(u16At(bytes + 4)),
        time(u32At(bytes + 8)),
        variant(bytes[23]),
        size(u32At(bytes + 24)),
        nameLength(u16At(bytes + 28)) {}

  std::uint16_t mode;
  std::uint16_t uid;
  std::uint16_t gid;
  std::uint32_t time;
  std::uint8_t variant;
  std::uint32_t size;
  std::uint16_t nameLength;
};

struct Entry {
  std::uint16_t type() const { return header.mode & typeBits; }

  EntryHeader header;
  std::string name;      // as it stands in the package; what messages name
  std::string key;       // the name without empty and "." components
  std::string recorded;  // below /flash, beginning with '/': what files holds
  std::string path;      // "/flash" + recorded: what is created
};

// "./a//b/" and "a/b" name the same place: the key of both is "a/b".
std::string nameKey(const std::string& name) {
  std::string key;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string_view component(name.data() + start, end - start);
    if (!component.empty() && component != ".") {
      if (!key.empty()) key += '/';
      key += component;
    }
    start = end + 1;
  }
  return key;
}

bool writeAll(int file, const char* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(file, bytes, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += written;
    length -= static_cast<std::size_t>(written);
  }
  return true;
}

class TreeExtractor {
public:
  TreeExtractor(Console& console, InstalledPackage& package, PartStream& stream)
      : console_(console), package_(package), stream_(stream), tree_(stream) {}

  bool run();

private:
  // Reads the entry's name and its key; false (reported) for a name that is
  // cut short, too long, or would reach outside the package's tree.
  bool readName(Entry& entry);
  bool passesThroughOwnLink(const std::string& key) const;
  // Creates the missing directories above path; entries of one directory
  // follow each other in a tree, so a directory made for the last entry is
  // not walked again level by level.
  void makeParents(const std::string& path);
  // Removes what stands at the entry's path; false when an existing
  // directory is kept for a directory entry.
  bool clearPlace(const Entry& entry);
  // Creates the entry by its type; false after a reported failure.
  bool create(const Entry& entry);
  bool createLink(const Entry& entry);
  bool createFile(const Entry& entry);
  bool createDevice(const Entry& entry);

  bool readExactly(char* bytes, std::size_t count);
  bool readText(std::uint32_t length, std::string& text);
  void skip(std::uint32_t count) { tree_.seekg(std::streamoff(count), std::ios_base::cur); }
  bool broken() {
    reportBrokenPackage(console_, package_);
    return false;
  }
  bool createFailed(const Entry& entry) {
    reportCreateFailure(console_, package_, entry.name.c_str());
    return false;
  }

  Console& console_;
  InstalledPackage& package_;
  PartStream& stream_;
  InflateStream tree_;
  std::vector<std::pair<std::string, std::uint32_t>> directoryTimes_;
  std::set<std::string> ownLinks_;  // keys of the links this package made
  std::string madeParent_;          // the last directory whose levels all exist
};

bool TreeExtractor::run() {
  std::string treeRoot;
  if (package_.disabled) {
    treeRoot = "/x/" + package_.name;
    makeDirectories("/flash" + treeRoot, false);
    makeDirectories("/flash" + treeRoot + "/var/pdb/" + package_.name, false);
  }

  for (;;) {
    // The tree ends with the data, or where a skip ran past its end.
    unsigned char header[treeEntryHeaderSize];
    if (!readExactly(reinterpret_cast<char*>(header), sizeof header)) break;
    Entry entry{EntryHeader(header), {}, {}, {}, {}};
    if (!readName(entry)) return false;
    entry.recorded = treeRoot + (entry.name.starts_with('/') ? "" : "/") + entry.name;
    entry.path = "/flash" + entry.recorded;

    makeParents(entry.path);
    if (entry.header.variant != 0 && entry.header.variant != deviceVariant()) {
      skip(entry.header.size);
      continue;
    }
    if (!clearPlace(entry)) {
      skip(entry.header.size);
      continue;
    }
    if (!create(entry)) return false;
    showInstalling(console_, package_, stream_);
  }

  // Making a directory's contents changed its times: set them again.
  for (const auto& [path, time] : directoryTimes_) installPlatform().setTimes(path.c_str(), time);
  return true;
}

bool TreeExtractor::readName(Entry& entry) {
  if (!readText(entry.header.nameLength, entry.name)) return broken();
  // A NUL would make the created path differ from the checked and recorded one.
  if (entry.name.find('\0') != std::string::npos || climbsUp(entry.name)) return broken();
  entry.key = nameKey(entry.name);
  // Links on the device are followed; the package's own are not, or a link to
  // "/" followed by an entry below it would write anywhere.
  if (passesThroughOwnLink(entry.key)) return broken();
  return true;
}

void TreeExtractor::makeParents(const std::string& path) {
  const std::string parent = path.substr(0, path.rfind('/'));
  if (parent == madeParent_) return;
  madeParent_ = makeDirectories(path, true) ? parent : std::string();
}

bool TreeExtractor::passesThroughOwnLink(const std::string& key) const {
  for (std::size_t slash = key.find('/'); slash != std::string::npos;
       slash = key.find('/', slash + 1)) {
    if (ownLinks_.count(key.substr(0, slash)) != 0) return true;
  }
  return false;
}

bool TreeExtractor::clearPlace(const Entry& entry) {
  struct stat existing;
  if (::stat(entry.path.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode) && entry.type() == directoryType) return false;
    ::unlink(entry.path.c_str());
  } else if (ownLinks_.count(entry.key) != 0) {
    // A dangling link of this package: replaced, never written through.
    ::unlink(entry.path.c_str());
  }
  return true;
}

bool TreeExtractor::create(const Entry& entry) {
  InstallPlatform& platform = installPlatform();
  const char* path = entry.path.c_str();
  const EntryHeader& header = entry.header;
  switch (entry.type()) {
    case symlinkType:
      return createLink(entry);  // owner only: no mode, no times
    case regularType:
      if (!createFile(entry)) return false;
      break;
    case directoryType:
      skip(header.size);
      if (::mkdir(path, header.mode) != 0) return createFailed(entry);
      directoryTimes_.emplace_back(entry.path, header.time);
      break;
    case charDeviceType:
    case blockDeviceType:
      if (!createDevice(entry)) return false;
      break;
    case fifoType:
      skip(header.size);
      if (platform.makeFifo(path, header.mode) != 0) return createFailed(entry);
      package_.files.insert(entry.recorded);
      break;
    default:
      return broken();
  }
  // The owner first: changing it clears set-user-ID and set-group-ID bits.
  platform.changeOwner(path, header.uid, header.gid);
  ::chmod(path, header.mode & 07777);
  platform.setTimes(path, header.time);
  return true;
}

bool TreeExtractor::createLink(const Entry& entry) {
  std::string target;
  if (!readText(entry.header.size, target)) return broken();
  if (::symlink(target.c_str(), entry.path.c_str()) != 0) return createFailed(entry);
  package_.files.insert(entry.recorded);
  ownLinks_.insert(entry.key);
  installPlatform().changeLinkOwner(entry.path.c_str(), entry.header.uid, entry.header.gid);
  return true;
}

bool TreeExtractor::createFile(const Entry& entry) {
  const int file = ::open(entry.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (file < 0) return createFailed(entry);
  package_.files.insert(entry.recorded);
  char chunk[dataChunk];
  for (std::uint32_t left = entry.header.size; left > 0;) {
    const std::size_t count = std::min<std::size_t>(left, sizeof chunk);
    if (!readExactly(chunk, count)) {
      ::close(file);
      return broken();
    }
    if (!writeAll(file, chunk, count)) {
      createFailed(entry);  // before close() can change errno
      ::close(file);
      return false;
    }
    left -= static_cast<std::uint32_t>(count);
  }
  if (::close(file) != 0) return createFailed(entry);
  return true;
}

bool TreeExtractor::createDevice(const Entry& entry) {
  unsigned char number[4];
  if (entry.header.size != sizeof number) return broken();
  if (!readExactly(reinterpret_cast<char*>(number), sizeof number)) return broken();
  const dev_t device = static_cast<dev_t>(u32At(number));
  if (installPlatform().makeNode(entry.path.c_str(), entry.header.mode, device) != 0)
    return createFailed(entry);
  package_.files.insert(entry.recorded);
  return true;
}

bool TreeExtractor::readExactly(char* bytes, std::size_t count) {
  tree_.read(bytes, static_cast<std::streamsize>(count));
  return tree_.gcount() == static_cast<std::streamsize>(count);
}

bool TreeExtractor::readText(std::uint32_t length, std::string& text) {
  if (length > longestText) return false;
  text.resize(length);
  return readExactly(text.data(), length);
}

}  // namespace

bool extractFiles(Console& console, InstalledPackage& package, PartStream& stream) {
  TreeExtractor extractor(console, package, stream);
  return extractor.run();
}
