#include "pdb/database_loader.h"

#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <iomanip>
#include <memory>
#include <string_view>

#include "files/device_root.h"
#include "files/own_file.h"
#include "pdb/database_writer.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/regular_file.h"

namespace {

constexpr char databaseDir[] = "/flash/var/pdb/";
constexpr char secondImageDir[] = "/rw/pckg/.images/";
constexpr char scheduleDir[] = "/ram/pdb/";

// What the loader holds of one word or one path. A longer one makes its file
// malformed instead of being buffered: a sparse file of a gigabyte would
// otherwise take twice that in memory.
constexpr std::size_t maxWordLength = PATH_MAX;

// Reads the next white-space delimited word, holding at most one byte more
// than maxWordLength of it. False at the end of the data.
bool readWord(std::istream& in, std::string& word) {
  return static_cast<bool>(in >> std::setw(maxWordLength + 1) >> word);
}

bool tooLong(const std::string& word) { return word.size() > maxWordLength; }

enum class LineRead { Line, End, TooLong };

// Reads the next line without its "\n" (a last line without one counts).
LineRead readLine(std::istream& in, std::string& line) {
  line.clear();
  std::streambuf& buffer = *in.rdbuf();
  int c = buffer.sbumpc();
  if (c == std::char_traits<char>::eof()) return LineRead::End;
  for (; c != std::char_traits<char>::eof() && c != '\n'; c = buffer.sbumpc()) {
    if (line.size() == maxWordLength) return LineRead::TooLong;
    line.push_back(char(c));
  }
  return LineRead::Line;
}

// Calls visit(name) for each entry of a directory, in directory order,
// skipping names that begin with '.'. False when it cannot be opened.
template <typename Visit>
bool forEachEntry(const char* path, Visit visit) {
  DIR* dir = openDeviceDir(path);
  if (dir == nullptr) return false;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    visit(std::string(entry->d_name));
  }
  ::closedir(dir);
  return true;
}

// Reads the list of the package's files, when there is one; false when not.
bool readFileList(InstalledPackage& package, const std::string& dir) {
  RegularFileStream files(dir + "files");
  if (!files.is_open()) return false;
  std::string line;
  for (LineRead read; (read = readLine(files, line)) != LineRead::End;) {
    if (read == LineRead::TooLong) {
      package.action = ScheduledAction::Uninstall;
      break;
    }
    if (line.empty()) continue;
    if (line[0] != '/') line.insert(line.begin(), '/');
    package.files.insert(line);
  }
  return true;
}

// Reads the meta files of a record that did not come from an image.
void readMetaFiles(InstalledPackage& package, const std::string& dir) {
  {
    RegularFileStream in(dir + "version");
    if (!(in >> package.version >> package.buildTime)) package.action = ScheduledAction::Uninstall;
  }
  if (readDependencyList(dir + "deps", package.deps, false) != ReadResult::Read)
    package.action = ScheduledAction::Uninstall;
  if (readDependencyList(dir + "provides", package.provides, true) != ReadResult::Read)
    package.action = ScheduledAction::Uninstall;
  if (readDependencyList(dir + "conflicts", package.conflicts, false) != ReadResult::Read)
    package.action = ScheduledAction::Uninstall;
  {
    RegularFileStream in(dir + "bundle");
    std::string bundleName;
    if (readWord(in, bundleName) && tooLong(bundleName)) {
      package.action = ScheduledAction::Uninstall;
    } else if (!bundleName.empty()) {
      package.bundle.name = bundleName;
      package.bundle.min = 0;
      package.bundle.max = 0;
    }
  }
  package.isBundle = !readFileList(package, dir);
}

// Reads the disabled/enabled flag files.
void readStateFlags(InstalledPackage& package, const std::string& dir) {
  package.userForced = false;
  RegularFileStream disabled(dir + "disabled");
  if (disabled.is_open()) {
    package.disabled = true;
    // Only "auto" matters, so no more of the first line is read.
    char first[sizeof "auto"];
    package.userForced =
        !disabled.getline(first, sizeof first) || std::string_view(first) != "auto";
    return;
  }
  package.disabled = false;
  if (RegularFileStream(dir + "enabled").is_open()) package.userForced = true;
}

// Picks up the action the running system scheduled, and consumes it or leaves
// it in place, noted in kept.
void readSchedule(InstalledPackage& package, KeptSchedules* kept) {
  const std::string path = scheduleDir + package.name + "/schedule";
  {
    RegularFileStream in(path);
    std::string word;
    readWord(in, word);
    if (word == "uninstall") {
      package.action = ScheduledAction::Uninstall;
    } else if (word == "enable") {
      package.action = ScheduledAction::Enable;
      package.userForced = true;
    } else if (word == "disable") {
      package.action = ScheduledAction::Disable;
      package.userForced = true;
    }
  }
  if (kept != nullptr)
    kept->push_back(path);
  else
    removeOwnFile(path);  // the name itself goes, never what a link there points to
}

}  // namespace

ReadResult readDependencyList(const std::string& path, std::vector<Dependency>& list,
                              bool withExtra) {
  RegularFileStream in(path);
  if (!in.is_open()) return ReadResult::Read;
  for (;;) {
    Dependency entry;
    if (!readWord(in, entry.name)) return ReadResult::Read;
    if (tooLong(entry.name)) return ReadResult::NotRead;
    if (!(in >> entry.min >> entry.max)) return ReadResult::NotRead;
    if (withExtra && !(in >> entry.extra)) return ReadResult::NotRead;
    list.push_back(std::move(entry));
  }
}

void readPackageRecord(InstalledPackage& package, KeptSchedules* kept) {
  // A name from an image header that cannot be a directory entry has no
  // database entry: its meta files count as unreadable, and it gets no flags
  // and no schedule.
  const bool plain = isPlainName(package.name);
  const std::string dir = packageDir(package);
  const bool fromImage = package.version != 0;
  if (!fromImage) {
    if (plain) {
      readMetaFiles(package, dir);
    } else {
      package.action = ScheduledAction::Uninstall;
      package.isBundle = true;
    }
  }
  if (!plain) {
    package.disabled = false;
    package.userForced = false;
    return;
  }
  // A record read from an image keeps the list of the files it installed
  // beside the image (none in a database written before such lists were).
  if (fromImage && !package.isBundle) readFileList(package, dir);
  readStateFlags(package, dir);
  if (package.version == placeholderRelease && package.buildTime == placeholderRelease) return;
  readSchedule(package, kept);
}

void loadDatabase(Console& console, bool quiet, const std::string& arch, KeptSchedules* kept) {
  console.quiet = quiet;
  console.arch = arch;
  if (loadImages(console, nullptr) != ReadResult::Read) {
    console.warning("could not open repo");
    return;
  }
  // The same directory is listed again: its result is the one just had.
  (void)loadImages(console, secondImageDir);

  DIR* probe = openDeviceDir(databaseDir);
  if (probe == nullptr) return;
  ::closedir(probe);
  for (const auto& record : console.packages) readPackageRecord(*record, kept);

  PackageDb& packages = console.packages;
  forEachEntry(databaseDir, [&packages, kept](const std::string& name) {
    if (packages.findIndex(name) >= 0) return;
    auto record = std::make_unique<InstalledPackage>(name);
    readPackageRecord(*record, kept);
    packages.append(std::move(record));
  });
}

void consumeScheduleFiles(KeptSchedules& kept, bool remove) {
  // The name itself goes, never what a link there points to.
  if (remove)
    for (const std::string& path : kept) removeOwnFile(path);
  kept.clear();
}

ReadResult loadImages(Console& console, const char* imageDir) {
  PackageDb& packages = console.packages;
  const bool listed = forEachEntry(databaseDir, [&packages, imageDir](const std::string& name) {
    auto record = std::make_unique<InstalledPackage>(name);
    const std::string path = imageDir ? imageDir + name : packageDir(*record) + "image";
    RegularFileStream image(path);
    if (!image.is_open()) return;

    // Only the parts that describe the package; architecture, text2 and the
    // image flag are passed over.
    PartStream stream(image, false);
    stream.wanted = {partBundle,       partPackage,  partText24,   partNote,
                     partDependencies, partProvides, partConflicts};
    if (stream.next() != partBundle) {
      (void)readHeaderParts(*record, stream);
      packages.append(std::move(record));
      return;
    }
    (void)readHeaderParts(*record, stream);
    Dependency bundle;
    bundle.name = record->name;
    bundle.min = record->version;
    bundle.max = record->version;
    while (stream.currentType() == partPackage) {
      auto member = std::make_unique<InstalledPackage>(std::string());
      const bool complete = readHeaderParts(*member, stream) == ReadResult::Read;
      member->bundle = bundle;
      // A member whose name could not be read has no entry of its own that
      // could ever be written or removed: it is not recorded.
      if (isPlainName(member->name)) packages.append(std::move(member));
      // A header that could not be read leaves the stream inside it: the rest
      // of that member is passed over up to the next member's header.
      if (!complete) {
        while (stream.next() != -1 && stream.currentType() != partPackage) {
        }
      }
    }
    packages.append(std::move(record));
  });
  return listed ? ReadResult::Read : ReadResult::NotRead;
}
