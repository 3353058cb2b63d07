#include "install/file_extraction.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/confined_dir.h"
#include "files/file_platform.h"
#include "files/write_all.h"
#include "install/flash_queries.h"
#include "install/journal.h"
#include "pdb/install_messages.h"
#include "pdb/package_dir.h"
#include "pkgfile/byte_order.h"
#include "pkgfile/inflate_stream.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/tree_entry.h"

namespace {

constexpr std::size_t dataChunk = 16384;
// A name or link target longer than any path is refused before anything is
// allocated for it.
constexpr std::uint32_t longestText = PATH_MAX;
// The files list (and the directories whose times are kept) may take a fixed
// floor plus this many bytes per byte of the package file: names compress, but
// a list far larger than its package would only fill the flash and the memory.
constexpr std::uint64_t listFloor = 1 << 20;
constexpr std::uint64_t listPerPackageByte = 16;

struct Entry {
  std::uint16_t type() const { return header.type(); }

  TreeEntryHeader header;
  std::string name;      // as it stands in the package; what messages name
  std::string recorded;  // below /flash, beginning with '/': what files holds
  std::string parent;    // the directory that holds it, below /flash
  std::string leaf;      // its last component: what is created in parent
};

// Splits path at its last component that is neither empty nor ".".
void splitLeaf(const std::string& path, std::string& parent, std::string& leaf) {
  std::size_t end = path.size();
  for (;;) {
    const std::size_t slash = path.rfind('/', end == 0 ? 0 : end - 1);
    const std::size_t start = slash == std::string::npos || end == 0 ? 0 : slash + 1;
    const std::string_view name(path.data() + start, end - start);
    if ((!name.empty() && name != ".") || start == 0) {
      leaf = name == "." ? "" : std::string(name);
      parent = path.substr(0, start);
      return;
    }
    end = slash;
  }
}

// Whether an owner change did what it could: an unprivileged run may not give
// files away, which leaves them its own.
bool ownerSet(int result) { return result == 0 || errno == EPERM; }

// How placing an entry ended: a new object made, an existing directory kept,
// or a failure (reported).
enum class Placed : std::uint8_t { Made = 0, Kept = 1, Failed = 2 };

// Where an object was made: in its place, or waiting in the journal.
struct Spot {
  int dir = -1;
  std::string name;
};

class TreeExtractor {
public:
  TreeExtractor(Console& console, InstalledPackage& package, PartStream& stream,
                PackageJournal* journal)
      : console_(console),
        package_(package),
        stream_(stream),
        tree_(stream),
        flash_(flashDir),
        journal_(journal),
        listLimit_(listFloor + listPerPackageByte * std::uint64_t(stream.totalLength())) {}

  bool run();

private:
  // Reads the entry's name; false (reported) for a name that is cut short,
  // too long, or would reach outside the package's tree.
  bool readName(Entry& entry);
  // Resolves the entry's parent below /flash, making missing levels; false
  // (reported) when it leads out of /flash or to a place that is never a
  // package's. A level that cannot be made is reported when the entry is.
  bool findParent(const Entry& entry, bool& found);
  // Creates the object with make(spot, exclusive) (0 or a descriptor on
  // success) at spot, its place; when something is in the way, keeps a
  // directory for a directory entry, makes the object in the journal when
  // there is one, and otherwise removes what is there and makes the object
  // again, not exclusively.
  template <typename Make>
  Placed place(const Entry& entry, Spot& spot, Make make);
  // The object's place is taken: spot becomes a new object of the journal,
  // unless a directory stands there (-1, errno set).
  int makeWaiting(const Entry& entry, Spot& spot, const auto& make);
  // Creates the entry by its type; false after a reported failure.
  bool create(const Entry& entry);
  bool createLink(const Entry& entry);
  bool createFile(const Entry& entry);
  bool createNode(const Entry& entry);
  bool createDirectory(const Entry& entry);
  // Sets owner, mode and times; false when one cannot be set (an owner that
  // an unprivileged run may not give is passed over).
  bool setAttributes(const Entry& entry, const Spot& spot);
  // Records the entry in package.files; false (reported) beyond the limit.
  bool record(const Entry& entry);
  bool within(std::size_t bytes) {
    listBytes_ += bytes;
    return listBytes_ <= listLimit_;
  }

  bool readExactly(char* bytes, std::size_t count);
  bool readText(std::uint32_t length, std::string& text);
  // Passes over count bytes of data; false when the data end first.
  bool skip(std::uint32_t count) {
    return !tree_.seekg(std::streamoff(count), std::ios_base::cur).fail();
  }
  bool broken() {
    reportBrokenPackage(console_, package_);
    return false;
  }
  bool createFailed(const Entry& entry) {
    reportCreateFailure(console_, package_, entry.name.c_str());
    return false;
  }
  int dir() const { return flash_.place().fd; }

  Console& console_;
  InstalledPackage& package_;
  PartStream& stream_;
  InflateStream tree_;
  ConfinedDir flash_;
  PackageJournal* journal_;
  std::uint64_t listBytes_ = 0;  // recorded paths and directories whose times are kept
  const std::uint64_t listLimit_;
};

bool TreeExtractor::run() {
  std::string treeRoot;
  if (package_.disabled) {
    treeRoot = "/x/" + package_.name;
    flash_.resolve(treeRoot.substr(1) + "/var/pdb/" + package_.name, true);
  }

  for (;;) {
    // The tree is whole only where its compressed data ended properly, their
    // check matched, and no entry was cut short: anything else is broken.
    unsigned char header[treeEntryHeaderSize];
    tree_.read(reinterpret_cast<char*>(header), sizeof header);
    if (tree_.gcount() == 0 && tree_.buffer().complete()) break;
    if (tree_.gcount() != std::streamsize(sizeof header)) return broken();
    Entry entry{decodeTreeEntryHeader(header), {}, {}, {}, {}};
    if (!readName(entry)) return false;
    splitLeaf(treeRoot + (entry.name.starts_with('/') ? "" : "/") + entry.name, entry.parent,
              entry.leaf);
    // What is made, not what is named: "a/etc/" makes and records "/a/etc".
    entry.recorded = entry.parent + entry.leaf;

    // Asked first: asking the device must not change why a directory failed.
    const bool forThisDevice = entry.header.variant == 0 || entry.header.variant == deviceVariant();
    bool found = false;
    if (!findParent(entry, found)) return false;
    if (!forThisDevice) {
      if (!skip(entry.header.size)) return broken();
      continue;
    }
    if (!found) return createFailed(entry);
    if (!create(entry)) return false;
    showInstalling(console_, package_, stream_);
  }
  // Directories left now get their times again: making their contents changed them.
  flash_.finish();
  return true;
}

bool TreeExtractor::readName(Entry& entry) {
  if (!readText(entry.header.nameLength, entry.name)) return broken();
  // A NUL would make the created path differ from the checked and recorded one.
  if (entry.name.find('\0') != std::string::npos || climbsUp(entry.name)) return broken();
  return true;
}

bool TreeExtractor::findParent(const Entry& entry, bool& found) {
  const Confinement where = flash_.resolve(entry.parent, true);
  if (where == Confinement::Outside) return broken();
  found = where == Confinement::Inside;
  if (found && reservedPlace(flash_.place(), entry.leaf)) return broken();
  return true;
}

int TreeExtractor::makeWaiting(const Entry& entry, Spot& spot, const auto& make) {
  struct stat existing;
  if (::fstatat(dir(), spot.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISDIR(existing.st_mode)) {
    errno = entry.type() == regularType ? EISDIR : EEXIST;
    return -1;
  }
  spot = {journal_->objectsDir(), journal_->addObject(entry.recorded)};
  return make(spot, true);
}

template <typename Make>
Placed TreeExtractor::place(const Entry& entry, Spot& spot, Make make) {
  spot = {dir(), entry.leaf};
  const char* leaf = entry.leaf.c_str();
  int made = make(spot, true);
  if (made < 0 && errno == EEXIST) {
    struct stat existing;  // a link to a directory counts as one: it is not written through
    if (entry.type() == directoryType && ::fstatat(dir(), leaf, &existing, 0) == 0 &&
        S_ISDIR(existing.st_mode))
      return Placed::Kept;
    if (journal_ != nullptr && entry.type() != directoryType) {
      made = makeWaiting(entry, spot, make);
    } else {
      filePlatform().removeAt(dir(), leaf, 0);
      made = make(spot, false);
    }
  }
  if (made < 0) {
    createFailed(entry);
    return Placed::Failed;
  }
  return Placed::Made;
}

bool TreeExtractor::create(const Entry& entry) {
  if (entry.leaf.empty()) {  // the top of the tree: a directory that is there
    if (!skip(entry.header.size)) return broken();
    if (entry.type() == directoryType) return true;
    errno = EISDIR;
    return createFailed(entry);
  }
  switch (entry.type()) {
    case symlinkType:
      return createLink(entry);
    case regularType:
      return createFile(entry);
    case directoryType:
      if (!skip(entry.header.size)) return broken();
      return createDirectory(entry);
    case charDeviceType:
    case blockDeviceType:
    case fifoType:
      return createNode(entry);
    default:
      return broken();
  }
}

// The owner first: changing it clears set-user-ID and set-group-ID bits.
bool TreeExtractor::setAttributes(const Entry& entry, const Spot& spot) {
  FilePlatform& files = filePlatform();
  const TreeEntryHeader& header = entry.header;
  const char* leaf = spot.name.c_str();
  return ownerSet(
             files.changeOwnerAt(spot.dir, leaf, header.uid, header.gid, AT_SYMLINK_NOFOLLOW)) &&
         files.changeModeAt(spot.dir, leaf, header.mode & 07777) == 0 &&
         files.setTimesAt(spot.dir, leaf, header.time, AT_SYMLINK_NOFOLLOW) == 0;
}

bool TreeExtractor::createDirectory(const Entry& entry) {
  Spot spot;
  const Placed placed = place(entry, spot, [&](const Spot& at, bool) {
    return filePlatform().makeDirAt(at.dir, at.name.c_str(), entry.header.mode);
  });
  if (placed != Placed::Made) return placed == Placed::Kept;
  if (!setAttributes(entry, spot)) return createFailed(entry);
  return within(flash_.keepTimes(entry.leaf.c_str(), entry.header.time)) || broken();
}

bool TreeExtractor::createLink(const Entry& entry) {
  std::string target;
  if (!readText(entry.header.size, target)) return broken();
  if (!record(entry)) return false;
  Spot spot;
  const Placed placed = place(entry, spot, [&](const Spot& at, bool) {
    return filePlatform().symlinkAt(target.c_str(), at.dir, at.name.c_str());
  });
  if (placed == Placed::Failed) return false;
  package_.files.insert(entry.recorded);
  // Its owner only: a mode or times would land on its target.
  if (!ownerSet(filePlatform().changeOwnerAt(spot.dir, spot.name.c_str(), entry.header.uid,
                                             entry.header.gid, AT_SYMLINK_NOFOLLOW)))
    return createFailed(entry);
  return true;
}

bool TreeExtractor::createFile(const Entry& entry) {
  if (!record(entry)) return false;
  FileHandle file;
  Spot spot;
  const Placed placed = place(entry, spot, [&](const Spot& at, bool exclusive) {
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | (exclusive ? O_EXCL : O_TRUNC);
    file.reset(filePlatform().openAt(at.dir, at.name.c_str(), flags, 0600));
    return file.get();
  });
  if (placed == Placed::Failed) return false;
  package_.files.insert(entry.recorded);
  char chunk[dataChunk];
  for (std::uint32_t left = entry.header.size; left > 0;) {
    const std::size_t count = std::min<std::size_t>(left, sizeof chunk);
    if (!readExactly(chunk, count)) return broken();
    if (writeAll(file.get(), chunk, count) != WriteResult::Written) return createFailed(entry);
    left -= static_cast<std::uint32_t>(count);
  }
  FilePlatform& files = filePlatform();
  if (!ownerSet(files.changeOwner(file.get(), entry.header.uid, entry.header.gid)) ||
      files.changeMode(file.get(), entry.header.mode & 07777) != 0 ||
      files.setTimes(file.get(), entry.header.time) != 0 || file.close() != 0)
    return createFailed(entry);
  return true;
}

bool TreeExtractor::createNode(const Entry& entry) {
  dev_t device = 0;
  if (entry.type() == fifoType) {
    if (!skip(entry.header.size)) return broken();
  } else {
    unsigned char number[deviceNumberSize];
    if (entry.header.size != sizeof number) return broken();
    if (!readExactly(reinterpret_cast<char*>(number), sizeof number)) return broken();
    device = static_cast<dev_t>(load32le(number));
  }
  if (!record(entry)) return false;
  Spot spot;
  const Placed placed = place(entry, spot, [&](const Spot& at, bool) {
    return filePlatform().makeNodeAt(at.dir, at.name.c_str(), entry.header.mode, device);
  });
  if (placed == Placed::Failed) return false;
  package_.files.insert(entry.recorded);
  if (!setAttributes(entry, spot)) return createFailed(entry);
  return true;
}

bool TreeExtractor::record(const Entry& entry) {
  return within(entry.recorded.size() + sizeof(std::string) + 4 * sizeof(void*)) || broken();
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

InstallStep extractFiles(Console& console, InstalledPackage& package, PartStream& stream,
                         PackageJournal* journal) {
  TreeExtractor extractor(console, package, stream, journal);
  return extractor.run() ? InstallStep::Done : InstallStep::Failed;
}

bool reservedPlace(const ConfinedPlace& parent, const std::string& leaf) {
  if (parent.depth == 0) {
    for (const char* own : {"postlog", "PCKGS_CHANGED", "UPGRADED", "bootimage"})
      if (leaf == own) return true;
    return false;
  }
  if (parent.depth == 1) return parent.head == "var" && leaf == "pdb";
  return parent.head == "var/pdb";
}
