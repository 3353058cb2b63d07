#include "files/confined_dir.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "files/device_root.h"
#include "files/file_platform.h"

namespace {

constexpr int dirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW;

// The components of path but empty and "." ones; ".." stays.
std::vector<std::string_view> componentsOf(std::string_view path) {
  std::vector<std::string_view> names;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(start, end - start);
    if (!name.empty() && name != ".") names.push_back(name);
    start = end + 1;
  }
  return names;
}

void descend(ConfinedPlace& place, std::string_view name) {
  ++place.depth;
  if (place.depth == 1) place.head = name;
  if (place.depth == 2) (place.head += '/') += name;
}

void ascend(ConfinedPlace& place) {
  --place.depth;
  if (place.depth == 0) place.head.clear();
  if (place.depth == 1) place.head.resize(place.head.find('/'));
}

}  // namespace

ConfinedDir::ConfinedDir(const std::string& base) {
  for (const std::string_view name : componentsOf(base)) base_.emplace_back(name);
  Level root;
  const DevicePlace at = devicePlace(base.c_str());
  root.fd.reset(filePlatform().openAt(at.dir, at.name, O_RDONLY | O_DIRECTORY, 0));
  root.place.fd = root.fd.get();
  levels_.push_back(std::move(root));
}

ConfinedDir::~ConfinedDir() { finish(); }

Confinement ConfinedDir::resolve(std::string_view dir, bool makeMissing) {
  if (!opened()) {
    errno = EBADF;
    return Confinement::Failed;
  }
  const std::vector<std::string_view> names = componentsOf(dir);
  if (std::find(names.begin(), names.end(), "..") != names.end()) return Confinement::Outside;

  // levels_[i] stands for names[i - 1]: keep the levels shared with the last
  // path, when the deepest of them still has its descriptor.
  std::size_t shared = 0;
  while (shared < names.size() && shared + 1 < levels_.size() &&
         levels_[shared + 1].name == names[shared])
    ++shared;
  if (shared != 0 && shared < firstHeld_) shared = 0;
  keepFirst(shared + 1);

  int links = 0;
  for (std::size_t i = shared; i < names.size(); ++i) {
    ConfinedPlace at = levels_.back().place;
    FileHandle fd;
    const Confinement result = enter(at, fd, names[i], makeMissing, links);
    if (result != Confinement::Inside) return result;
    if (push(std::string(names[i]), std::move(at), std::move(fd)) != Confinement::Inside)
      return Confinement::Failed;
  }
  return Confinement::Inside;
}

Confinement ConfinedDir::enter(ConfinedPlace& at, FileHandle& fd, std::string_view name,
                               bool makeMissing, int& links) {
  const std::string component(name);
  if (component == "..") {
    if (at.depth == 0) return Confinement::Outside;
    FileHandle up(filePlatform().openAt(at.fd, "..", dirFlags, 0));
    if (!up.valid()) return Confinement::Failed;
    ascend(at);
    at.fd = up.get();
    fd = std::move(up);
    return Confinement::Inside;
  }
  FileHandle next(filePlatform().openAt(at.fd, component.c_str(), dirFlags, 0));
  if (!next.valid() && errno == ENOENT && makeMissing) {
    if (filePlatform().makeDirAt(at.fd, component.c_str(), 0770) != 0 && errno != EEXIST)
      return Confinement::Failed;
    return enter(at, fd, name, false, links);
  }
  if (!next.valid()) {
    const int error = errno;
    if (error != ELOOP && error != ENOTDIR) return Confinement::Failed;
    char target[PATH_MAX + 1];
    const ssize_t length = ::readlinkat(at.fd, component.c_str(), target, sizeof target);
    if (length <= 0 || std::size_t(length) > PATH_MAX) {
      errno = length < 0 ? error : (length == 0 ? ENOENT : ENAMETOOLONG);
      return Confinement::Failed;
    }
    if (++links > maxLinks) {
      errno = ELOOP;
      return Confinement::Failed;
    }
    return follow(at, fd, std::string(target, std::size_t(length)), links);
  }
  descend(at, name);
  at.fd = next.get();
  fd = std::move(next);
  return Confinement::Inside;
}

Confinement ConfinedDir::follow(ConfinedPlace& at, FileHandle& fd, const std::string& target,
                                int& links) {
  const std::vector<std::string_view> names = componentsOf(target);
  std::size_t i = 0;
  if (target[0] == '/') {
    // The process root: inside only through the base's own path.
    for (const std::string& part : base_) {
      if (i >= names.size() || names[i] != part) return Confinement::Outside;
      ++i;
    }
    at = levels_.front().place;
    fd.reset();
  }
  for (; i < names.size(); ++i) {
    const Confinement result = enter(at, fd, names[i], false, links);
    if (result != Confinement::Inside) return result;
  }
  return Confinement::Inside;
}

Confinement ConfinedDir::push(std::string name, ConfinedPlace place, FileHandle fd) {
  // A link to "." or to the base leaves the walk on a descriptor of another
  // level: the new level gets its own.
  if (!fd.valid()) fd.reset(::fcntl(place.fd, F_DUPFD_CLOEXEC, 0));
  if (!fd.valid()) return Confinement::Failed;
  Level level;
  level.name = std::move(name);
  level.place = std::move(place);
  level.place.fd = fd.get();
  level.fd = std::move(fd);
  struct stat info;
  if (!times_.empty() && ::fstat(level.fd.get(), &info) == 0) {
    const auto kept = times_.find({info.st_dev, info.st_ino});
    if (kept != times_.end()) level.timed = true, level.time = kept->second;
  }
  levels_.push_back(std::move(level));
  if (levels_.size() - firstHeld_ > heldLevels) leave(levels_[firstHeld_++]);
  return Confinement::Inside;
}

std::size_t ConfinedDir::keepTimes(const char* name, std::uint32_t time) {
  struct stat info;
  if (::fstatat(place().fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode))
    return 0;
  times_[{info.st_dev, info.st_ino}] = time;
  return sizeof(std::pair<dev_t, ino_t>) + sizeof time + 4 * sizeof(void*);
}

void ConfinedDir::leave(Level& level) {
  if (level.timed && level.fd.valid()) filePlatform().setTimes(level.fd.get(), level.time);
  level.fd.reset();
  level.place.fd = -1;
}

void ConfinedDir::keepFirst(std::size_t count) {
  while (levels_.size() > count) {
    leave(levels_.back());
    levels_.pop_back();
  }
  firstHeld_ = std::max<std::size_t>(1, std::min(firstHeld_, levels_.size()));
}

void ConfinedDir::finish() { keepFirst(1); }
