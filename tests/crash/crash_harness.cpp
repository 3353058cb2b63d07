#include "crash/crash_harness.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "driver/installer_run.h"
#include "files/file_platform.h"
#include "files/write_all.h"
#include "support/scratch_dir.h"

namespace crash {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t failuresKept = 5;
constexpr unsigned runSeconds = 30;  // a run still going then is killed

// What a faulted run meets at call number at: a kill there, or the fault.
struct Injection {
  bool kill = false;
  std::uint64_t at = 0;
  FileFault fault{};
};
constexpr Injection killAt(std::uint64_t at) { return {true, at}; }

// The device's calls, but for the syncs: the scratch roots live in memory, and
// what a sync makes durable is modelled where the power is cut (see cut()).
class UnsyncedPlatform final : public DeviceFilePlatform {
 public:
  int syncFile(int) override { return 0; }
  void syncAll() override {}
};

constexpr char letterOf(FileCall call) { return static_cast<char>('a' + static_cast<int>(call)); }

// Notes each call's kind (a letter: 'a' + its FileCall) and injects the fault.
class InjectingPlan final : public FileFaultPlan {
 public:
  explicit InjectingPlan(Injection injection) : injection_(injection) {}
  std::string calls;

  FileFault before(std::uint64_t n, FileCall call) override {
    calls.push_back(letterOf(call));
    if (n != injection_.at) return {};
    if (injection_.kill) ::kill(::getpid(), SIGKILL);
    return injection_.fault;
  }

 private:
  Injection injection_;
};

// Runs the installer's entry point in a forked child with "-r root" and args.
// Returns its standard output when output is set, otherwise the kinds of the
// calls it made.
std::string runChild(const std::string& root, const std::vector<std::string>& args,
                     Injection injection, bool output = false) {
  int report[2];
  if (::pipe(report) != 0) return {};
  std::fflush(nullptr);
  std::cout.flush();
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(output ? report[1] : null, 1);
    ::dup2(null, 2);
    ::unsetenv("arch"), ::unsetenv("bootimage");
    ::alarm(runSeconds);
    std::vector<const char*> argv = {"installer", "-r", root.c_str()};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    InjectingPlan plan(injection);
    UnsyncedPlatform platform;
    int status;
    {
      ScopedFilePlatform unsynced(platform);
      ScopedFileFaults faults(plan);
      status = runInstaller(static_cast<int>(argv.size()), argv.data());
    }
    std::cout.flush();
    std::fflush(nullptr);
    if (!output) static_cast<void>(writeAll(report[1], plan.calls.data(), plan.calls.size()));
    ::_exit(status & 255);
  }
  ::close(report[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
  ::close(report[0]);
  int status = 0;
  while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return text;
}

void place(const std::string& root, const Placed& file) {
  const fs::path path = root + file.path;
  std::error_code ignored;
  fs::create_directories(path.parent_path(), ignored);
  std::ofstream(path, std::ios::binary) << file.content;
}

std::string hashOf(const std::string& path) {  // FNV-1a, 64 bits
  std::ifstream in(path, std::ios::binary);
  std::uint64_t hash = 14695981039346656037ull;
  for (char c; in.get(c);) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// One line per entry below root + dir, in directory order: path, type, mode,
// owner, links, size and content hash (or link target). The message log's
// contents are left out unless whole is set.
void list(const std::string& root, const std::string& dir, bool whole,
          std::vector<std::string>& lines) {
  std::error_code error;
  for (fs::recursive_directory_iterator it(root + dir, error), end; it != end;
       it.increment(error)) {
    const std::string full = it->path().string(), path = full.substr(root.size());
    struct stat info {};
    if (::lstat(full.c_str(), &info) != 0) continue;
    std::ostringstream line;
    line << path << ' ' << std::oct << (info.st_mode & 07777) << std::dec << ' ' << info.st_uid
         << ':' << info.st_gid;
    if (S_ISDIR(info.st_mode)) {
      lines.push_back(line.str() + " dir");
      continue;
    }
    line << " links " << info.st_nlink << ' ';
    if (S_ISLNK(info.st_mode))
      line << "link " << fs::read_symlink(full).string();
    else if (!S_ISREG(info.st_mode))
      line << "node " << (info.st_mode & S_IFMT) << ' ' << info.st_rdev;
    else if (!whole && path == "/flash/postlog")
      line << "file (contents left out)";
    else
      line << "file " << info.st_size << ' ' << hashOf(full);
    lines.push_back(line.str());
  }
}

// What a run is compared by: the file tree below /flash and /rw (the package
// database included), sorted, and the listing the installer prints. Left out:
// times (database files and directories carry the time they were written) and
// the message log's lines (a rerun logs what it did, not what the first run
// did). /ram is left out too: its copies and schedule files do not outlive a
// restart. The listing's lines are compared sorted: their order is the order
// in which the file system lists the database directory.
struct State {
  std::vector<std::string> tree, listing;
  bool operator==(const State&) const = default;
};

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

State stateOf(const std::string& root, bool withListing = true) {
  State state;
  for (const char* top : {"/flash", "/rw"}) list(root, top, false, state.tree);
  std::sort(state.tree.begin(), state.tree.end());
  if (withListing) state.listing = linesOf(runChild(root, {"--show"}, {}, true));
  std::sort(state.listing.begin(), state.listing.end());
  return state;
}

// Everything the next run can read, in directory order: two roots alike in
// this lead to the same rerun.
std::vector<std::string> keyOf(const std::string& root) {
  std::vector<std::string> lines;
  for (const char* top : {"/flash", "/rw", "/ram", "/proc"}) list(root, top, true, lines);
  return lines;
}

std::string firstDifference(const State& seen, const State& expected) {
  for (const auto& [have, want] :
       {std::pair{seen.tree, expected.tree}, {seen.listing, expected.listing}}) {
    const auto [a, b] = std::mismatch(have.begin(), have.end(), want.begin(), want.end());
    if (a != have.end()) return "has " + *a;
    if (b != want.end()) return "lacks " + *b;
  }
  return "equal";
}

std::map<std::string, std::string> byPath(const std::vector<std::string>& tree) {
  std::map<std::string, std::string> entries;
  for (const std::string& line : tree) entries.emplace(line.substr(0, line.find(' ')), line);
  return entries;
}

// A power cut must leave each package wholly its release of before the run or
// of after it: its database entry equals one of them, and every path its files
// list names is, below /flash or its disabled place, as that release left it.
// A package both releases have may not be lost.
std::string wholePackages(const std::string& root, const State& state, const State& before,
                          const State& after) {
  const auto now = byPath(state.tree);
  const std::string db = "/flash/var/pdb/";
  const auto entryOf = [&](const std::map<std::string, std::string>& tree,
                           const std::string& name) {
    std::vector<std::string> lines;
    const std::string dir = db + name + "/";
    for (auto it = tree.lower_bound(dir); it != tree.end() && it->first.starts_with(dir); ++it)
      lines.push_back(it->second);
    return lines;
  };
  const auto names = [&](const std::map<std::string, std::string>& tree) {
    std::vector<std::string> found;
    for (const auto& [path, line] : tree)
      if (path.starts_with(db) && path.find('/', db.size()) == std::string::npos &&
          path[db.size()] != '.' && line.ends_with(" dir"))
        found.push_back(path.substr(db.size()));
    return found;
  };
  const auto old = byPath(before.tree), next = byPath(after.tree);
  // Nothing of a package may be left that neither release has; the files
  // right below /flash are the installer's own (the log, the markers, their
  // temporary copies), not a package's.
  const auto owned = [&](const std::string& path) {
    return path.starts_with(db) || path.starts_with("/flash/rw/") ||
           (path.find('/', 7) == std::string::npos && !now.at(path).ends_with(" dir"));
  };
  for (const auto& [path, line] : now)
    if (!owned(path) && old.count(path) == 0 && next.count(path) == 0) return "stray " + path;
  for (const std::string& name : names(old))
    if (now.count(db + name) == 0 && next.count(db + name) != 0) return "lost package " + name;
  for (const std::string& name : names(now)) {
    const auto entry = entryOf(now, name);
    const auto* release = entry == entryOf(old, name)    ? &old
                          : entry == entryOf(next, name) ? &next
                                                         : nullptr;
    if (release == nullptr) return "entry of " + name + " is of neither release";
    std::ifstream files(root + db + name + "/files");
    for (std::string path; std::getline(files, path);) {
      bool placed = false;
      for (const std::string& at : {"/flash/" + path, "/flash/x/" + name + "/" + path}) {
        const auto want = release->find(at);
        if (want == release->end()) continue;
        const auto have = now.find(at);
        if (have == now.end() || have->second != want->second)
          return "file " + at + " of " + name + " is not of its release";
        placed = true;
      }
      if (!placed) return "file " + path + " of " + name + " is in no release";
    }
  }
  return {};
}

// The runs of one scenario, in a scratch area on a memory file system of its
// own: a template root and the root each point runs in.
class Runner : testing_support::ScratchDir {
 public:
  explicit Runner(const Scenario& scenario)
      : scenario_(scenario),
        mounted_(::mount("tmpfs", path().c_str(), "tmpfs", 0, "mode=0755") == 0),
        templ_(path() + "/template"),
        root_(path() + "/root") {}
  ~Runner() {
    if (mounted_) ::umount2(path().c_str(), MNT_DETACH);
  }

  // Lays out the template; false with problem set when it cannot be.
  bool setUp(std::string& problem) {
    if (!mounted_) return problem = "cannot mount a scratch file system", false;
    for (const char* dir : {"/flash/var/pdb", "/flash/rw/pckg", "/ram/pdb", "/rw", "/dev"})
      fs::create_directories(templ_ + dir);
    if (scenario_.shell) {
      fs::create_directories(templ_ + "/flash/dev");
      ::mknod((templ_ + "/flash/dev/null").c_str(), S_IFCHR | 0666, makedev(1, 3));
      const std::string copy =
          "cp -L --parents /bin/bash $(ldd /bin/bash | grep -o '/[^ ]*') " + templ_ + "/flash";
      if (std::system(copy.c_str()) != 0) return problem = "cannot copy a shell", false;
    }
    for (std::size_t phase = 0; phase < scenario_.phases.size(); ++phase) {
      for (const Placed& file : scenario_.phases[phase]) place(templ_, file);
      if (phase + 1 < scenario_.phases.size()) runChild(templ_, {}, {});
    }
    before_ = stateOf(templ_, false);
    for (const char* top : {"/flash/rw/pckg", "/flash/var/pckg", "/ram"})
      list(templ_, top, false, inputs_);
    std::erase_if(inputs_, [](const std::string& line) { return line.ends_with(" dir"); });
    fresh();
    calls_ = runChild(root_, {}, {});
    after_ = stateOf(root_);
    runChild(root_, {}, {});
    const State again = stateOf(root_);
    if (again == after_) return true;
    return problem = "a second uninterrupted run changes " + firstDifference(again, after_), false;
  }

  std::size_t calls() const { return calls_.size(); }

  // Whether the point passes; why set when it does not.
  bool point(Mode mode, std::uint64_t n, std::string& why) {
    switch (mode) {
      case Mode::KillBefore:
        return killed(killAt(n), why);
      case Mode::KillAfter:
        return killed(killAt(n + 1), why);
      case Mode::TornWrite:
        return killed({false, n, {FileFault::Tear, 0, 1}}, why);
      case Mode::FailNoSpace:
        return killed({false, n, {FileFault::Fail, ENOSPC}}, why);
      case Mode::FailIo:
        return killed({false, n, {FileFault::Fail, EIO}}, why);
      case Mode::PowerCutSynced:
        return cut(lastSyncBefore(n), why);
      case Mode::PowerCutRam:
        return cut(n, why);
      case Mode::KillRecovery:  // the recovery run is killed at call n too
        return killed(killAt(n), why, 2);
    }
    return false;
  }

  // Whether mode has a point at call n.
  bool applies(Mode mode, std::uint64_t n) const {
    const char call = calls_.at(n - 1);
    if (mode == Mode::TornWrite) return call == letterOf(FileCall::Write);
    if (mode == Mode::FailNoSpace || mode == Mode::FailIo)
      return call != letterOf(FileCall::SyncAll);
    if (mode == Mode::KillRecovery) return n % 5 == 1;
    return true;
  }

 private:
  // What a rerun after a fault left, as compared.
  struct Rerun {
    State first;
    bool stable = false;
  };

  // Lays the root out anew from the template; false when it cannot.
  bool fresh() {
    std::error_code ignored;
    if (scenario_.flashBytes) ::umount2((root_ + "/flash").c_str(), MNT_DETACH);
    fs::remove_all(root_, ignored);
    fs::create_directories(root_ + "/flash");
    if (scenario_.flashBytes) {
      const std::string size = "size=" + std::to_string(scenario_.flashBytes);
      ::mount("tmpfs", (root_ + "/flash").c_str(), "tmpfs", 0, size.c_str());
    }
    return std::system(("cp -a " + templ_ + "/. " + root_ + "/").c_str()) == 0;
  }

  // The rerun and a second one, remembered by the state they start from.
  const Rerun& rerun() {
    const auto key = keyOf(root_);
    const auto known = reruns_.find(key);
    if (known != reruns_.end()) return known->second;
    Rerun result;
    runChild(root_, {}, {});
    result.first = stateOf(root_);
    runChild(root_, {}, {});
    result.stable = stateOf(root_, false).tree == result.first.tree;
    return reruns_.emplace(key, std::move(result)).first->second;
  }

  bool judged(const Rerun& rerun, std::string& why) const {
    if (rerun.first != after_) return why = "rerun " + firstDifference(rerun.first, after_), false;
    if (!rerun.stable) return why = "a second rerun changes the tree", false;
    return true;
  }

  // The point's runs, each with the injection, then the rerun.
  bool killed(Injection injection, std::string& why, int runs = 1) {
    fresh();
    for (int run = 0; run < runs; ++run) runChild(root_, {}, injection);
    return judged(rerun(), why);
  }

  std::uint64_t lastSyncBefore(std::uint64_t n) const {
    for (std::uint64_t k = n - 1; k > 0; --k)
      if (calls_[k - 1] == letterOf(FileCall::SyncAll) ||
          calls_[k - 1] == letterOf(FileCall::SyncFile))
        return k;
    return 0;
  }

  // A power cut while call n is made. Writes reach the flash in the order they
  // were made, and a sync or an fsync makes everything before it durable (the
  // flash file system commits its journal as a whole); so the cut leaves the
  // state a kill right after some call k leaves, k between the last sync
  // before call n and n: every call after k is lost, newest first. Then RAM is
  // emptied (the schedule files and the RAM copies with it). The
  // callers take the two ends: k = that sync (all that was not made durable is
  // lost) and k = n (nothing but RAM is lost).
  bool cut(std::uint64_t k, std::string& why) {
    fresh();
    runChild(root_, {}, killAt(k + 1));
    std::error_code ignored;
    fs::remove_all(root_ + "/ram", ignored);
    fs::create_directories(root_ + "/ram/pdb");
    // What the device holds once a run has read the journal (a listing does).
    runChild(root_, {"--show"}, {}, true);
    const State cutState = stateOf(root_, false);
    why = wholePackages(root_, cutState, before_, after_);
    if (!why.empty()) return why = "after the cut: " + why, false;
    const bool survived = std::all_of(inputs_.begin(), inputs_.end(), [&](const std::string& line) {
      return std::binary_search(cutState.tree.begin(), cutState.tree.end(), line);
    });
    const Rerun& next = rerun();
    if (survived) return judged(next, why);
    why = wholePackages(root_, next.first, before_, after_);
    if (!why.empty()) return why = "after the rerun: " + why, false;
    if (!next.stable) return why = "a second rerun changes the tree", false;
    return true;
  }

  const Scenario& scenario_;
  const bool mounted_;
  const std::string templ_, root_;
  std::string calls_;
  State before_, after_;
  std::vector<std::string> inputs_;  // staged files and schedule files
  std::map<std::vector<std::string>, Rerun> reruns_;
};

}  // namespace

const char* modeName(Mode mode) {
  static const char* const names[modeCount] = {"kill-before",   "kill-after",   "torn-write",
                                               "fail-enospc",   "fail-eio",     "power-cut",
                                               "power-cut-ram", "kill-recovery"};
  return names[static_cast<std::size_t>(mode)];
}

std::string harnessUnavailable() {
  if (::geteuid() != 0) return "the crash harness needs root (it changes roots and mounts)";
  static const bool isolated = ::unshare(CLONE_NEWNS) == 0 &&
                               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return isolated ? "" : "cannot make a mount namespace of its own here";
}

Measurement measure(const Scenario& scenario, bool sampleOnly) {
  Measurement measurement;
  Runner runner(scenario);
  if (!runner.setUp(measurement.problem)) return measurement;
  measurement.calls = runner.calls();
  for (std::size_t m = 0; m < modeCount; ++m) {
    Tally& tally = measurement.modes[m];
    for (std::uint64_t n = 1; n <= runner.calls(); ++n) {
      if (!runner.applies(static_cast<Mode>(m), n)) continue;
      const bool inSample = tally.points++ % sampleStep == 0;
      if (sampleOnly && !inSample) continue;
      ++tally.tried;
      tally.sampled += inSample;
      std::string why;
      const bool passed = runner.point(static_cast<Mode>(m), n, why);
      tally.passed += passed;
      tally.sampledPassed += passed && inSample;
      if (!passed && tally.failures.size() < failuresKept)
        tally.failures.push_back("N " + std::to_string(n) + ": " + why);
    }
  }
  return measurement;
}

}  // namespace crash
