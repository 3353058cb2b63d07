// Resolving paths below one base directory ("/flash") without ever leaving it.
//
// A path is walked component by component from an open descriptor of the
// base (openat with O_NOFOLLOW | O_DIRECTORY): a symbolic link on the way is
// read and followed only while the walk stays below the base. A relative
// target continues from the link's own directory; an absolute one names the
// process root, so it is inside only when it begins with the base's own path.
// ".." in a link target climbs to the real parent, never above the base. At
// most maxLinks links are followed in one resolution.
//
// The directories of the last resolved path stay open: the next path reuses
// the levels it shares with it, so the entries of a tree (parent before child)
// cost one level each, however deep the tree. The deepest heldLevels levels
// keep their descriptors; going back above them walks from the base again.
//
// Every open and every directory made goes through filePlatform().
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/file_handle.h"

enum class Confinement : std::uint8_t {
  Inside = 0,   // resolved below the base
  Outside = 1,  // the path or a link on it leads out of the base (or climbs with "..")
  Failed = 2,   // a level is missing, not a directory, or cannot be opened; errno says why
};

// A resolved directory.
struct ConfinedPlace {
  int fd = -1;            // open until the next resolve() or finish()
  std::size_t depth = 0;  // real levels below the base (0: the base itself)
  std::string head;       // its first two real components below the base ("var/pdb", "usr", "")
};

class ConfinedDir {
public:
  static constexpr int maxLinks = 40;
  static constexpr std::size_t heldLevels = 32;

  // Opens base, an absolute path below the device root (followed as the
  // system follows it: the base itself is trusted).
  explicit ConfinedDir(const std::string& base);
  // finish().
  ~ConfinedDir();
  ConfinedDir(const ConfinedDir&) = delete;
  ConfinedDir& operator=(const ConfinedDir&) = delete;

  // False when the base could not be opened (errno then says why); every
  // resolve() then fails.
  bool opened() const { return levels_.front().fd.valid(); }

  // Resolves dir, a path relative to the base ('/'-separated; empty and "."
  // components ignored, a ".." component is Outside). With makeMissing, a
  // missing level of dir itself (not of a link's target) is made with mode
  // 0770. On Inside, place() is the directory.
  Confinement resolve(std::string_view dir, bool makeMissing);
  const ConfinedPlace& place() const { return levels_.back().place; }

  // name, a directory just made in place() whose times were set to time,
  // gets them set again whenever a later resolution leaves it (making its
  // contents changed them). Returns the bytes this costs to remember (0 when
  // name is not a directory).
  std::size_t keepTimes(const char* name, std::uint32_t time);

  // Leaves every level held (setting the times kept for them).
  void finish();

private:
  struct Level {
    std::string name;  // the component of the requested path
    ConfinedPlace place;
    FileHandle fd;
    bool timed = false;
    std::uint32_t time = 0;
  };

  // Steps from at into name, following a link that stays inside.
  Confinement enter(ConfinedPlace& at, FileHandle& fd, std::string_view name, bool makeMissing,
                    int& links);
  Confinement follow(ConfinedPlace& at, FileHandle& fd, const std::string& target, int& links);
  // Adds the level; Failed (errno set) when it cannot get a descriptor of its
  // own, Inside otherwise.
  [[nodiscard]] Confinement push(std::string name, ConfinedPlace place, FileHandle fd);
  void leave(Level& level);
  void keepFirst(std::size_t count);  // leaves the levels from count on

  std::vector<std::string> base_;  // the base's own components, for absolute link targets
  std::vector<Level> levels_;      // [0]: the base; then the last resolved path
  std::size_t firstHeld_ = 1;      // levels below this one have no descriptor
  std::map<std::pair<dev_t, ino_t>, std::uint32_t> times_;
};
