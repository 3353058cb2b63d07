#include "crash/crash_harness.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "driver/installer_run.h"
#include "files/file_platform.h"
#include "files/write_all.h"
#include "support/chroot_runner.h"
#include "support/scratch_dir.h"

namespace crash {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;
using Tree = std::map<std::string, std::string>;  // device path -> what is there

constexpr std::size_t failuresKept = 5;

// A child's file calls: the device's but for the syncs (what a sync makes
// durable is modelled by Runner::cut()); each call's kind noted, a FileCall a
// byte; at call number at, the fault made, or the process killed (Proceed).
struct ChildFiles final : DeviceFilePlatform, FileFaultPlan {
  std::uint64_t at = 0;
  FileFault fault;
  std::string calls;

  int syncFile(int) override { return 0; }
  void syncAll() override {}
  FileFault before(std::uint64_t n, FileCall call) override {
    calls.push_back(static_cast<char>(call));
    if (n == at && fault.kind == FileFault::Proceed) ::kill(::getpid(), SIGKILL);
    return n == at ? fault : FileFault{};
  }
};

// Runs the installer's entry point in a forked child with "-r root" and args,
// meeting fault at call number at. Returns its standard output when given
// args (a listing), otherwise the kinds of the calls it made.
std::string runChild(const std::string& root, const std::vector<std::string>& args = {},
                     std::uint64_t at = 0, FileFault fault = {}) {
  const std::string report = root + ".report";
  const bool output = !args.empty();
  runChrooted("/", [&] {
    const int null = ::open("/dev/null", O_RDWR), to = ::creat(report.c_str(), 0600);
    ::dup2(output ? to : null, 1), ::dup2(null, 2);
    ::unsetenv("arch"), ::unsetenv("bootimage");
    ::alarm(30);  // a run still going then is killed
    std::vector<const char*> argv = {"installer", "-r", root.c_str()};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    ChildFiles files;
    files.at = at, files.fault = fault;
    ScopedFilePlatform platform(files);
    ScopedFileFaults faults(files);
    runInstaller(static_cast<int>(argv.size()), argv.data());
    // The run changed its root: the report is written through the descriptor.
    if (!output) static_cast<void>(writeAll(to, files.calls.data(), files.calls.size()));
  });
  return readFile(report);
}

// Each entry below root + dir: its type and mode (in octal), owner and, but
// for a directory, its links, device, link target, and a file's size and
// content hash. The message log's contents are left out unless whole is set.
void list(const std::string& root, const std::string& dir, bool whole, Tree& tree) {
  std::error_code missing;
  for (const auto& entry : fs::recursive_directory_iterator(root + dir, missing)) {
    const std::string full = entry.path().string(), path = full.substr(root.size());
    struct stat info {};
    if (::lstat(full.c_str(), &info) != 0) continue;
    std::ostringstream line;
    line << std::oct << info.st_mode << std::dec << ' ' << info.st_uid << ':' << info.st_gid;
    if (!S_ISDIR(info.st_mode)) line << " links " << info.st_nlink << " device " << info.st_rdev;
    if (S_ISLNK(info.st_mode)) line << " -> " << fs::read_symlink(full).string();
    if (S_ISREG(info.st_mode) && (whole || path != "/flash/postlog"))
      line << ' ' << info.st_size << ' ' << std::hash<std::string>{}(readFile(full));
    tree[path] = line.str();
  }
}

bool isDir(const std::string& what) { return what.starts_with("40"); }  // the mode, in octal

// What a run is compared by: the tree below /flash and /rw (the database too)
// and the listing's lines, sorted (in the database directory's order). Left
// out: times (the database carries the time it was written), the message
// log's lines (a rerun logs what it did), /ram (it does not outlive a restart).
struct Outcome {
  Tree tree;
  std::multiset<std::string> listing;
  bool stable = true;  // of a rerun: a second one leaves the tree as it is
};

Outcome outcomeOf(const std::string& root, bool withListing = true) {
  Outcome outcome;
  for (const char* top : {"/flash", "/rw"}) list(root, top, false, outcome.tree);
  std::istringstream shown(withListing ? runChild(root, {"--show"}) : "");
  for (std::string line; std::getline(shown, line);) outcome.listing.insert(line);
  return outcome;
}

// The fault modes, in crash_table's order. A point at call N runs the scenario
// with the fault at call N + offset (a kill when it is Proceed), runs times,
// then reruns it plainly; or cuts the power (see Runner::cut()).
struct Mode {
  const char* name;
  FileFault fault{};
  int offset = 0, runs = 1;
  enum Cut : std::uint8_t { None, Synced, Ram } cut = None;
};
const Mode modes[] = {
    {"kill-before"},                             // the process killed before call N
    {"kill-after", {}, 1},                       // after it (before call N + 1, or at the end)
    {"torn-write", {FileFault::Tear, 0, 1}},     // call N, a write, reaches the file in part
    {"fail-enospc", {FileFault::Fail, ENOSPC}},  // call N fails so; the run goes on
    {"fail-eio", {FileFault::Fail, EIO}},
    {"power-cut", {}, 0, 1, Mode::Synced},   // all that no sync made durable is lost
    {"power-cut-ram", {}, 0, 1, Mode::Ram},  // only RAM is lost
    {"kill-recovery", {}, 0, 2},             // the recovery run killed at its call N too
};

// Whether mode has a point at call n, of kind call: a tear at writes, a
// failure at all but syncs of everything, a killed recovery at every fifth.
bool applies(const Mode& mode, char call, std::uint64_t n) {
  if (mode.fault.kind == FileFault::Tear) return call == char(FileCall::Write);
  if (mode.fault.kind == FileFault::Fail) return call != char(FileCall::SyncAll);
  return mode.runs == 1 || n % 5 == 1;
}

// The runs of one scenario, in a scratch area on a memory file system of its
// own: a template root and the root each point runs in.
class Runner : ScratchDir {
 public:
  explicit Runner(const Scenario& scenario)
      : scenario_(scenario),
        mounted_(::mount("tmpfs", path().c_str(), "tmpfs", 0, "mode=0755") == 0),
        templ_(path() + "/template"),
        root_(path() + "/root") {}
  ~Runner() {
    if (mounted_) ::umount2(path().c_str(), MNT_DETACH);
  }

  // Lays out the template and makes the uninterrupted run; false with problem
  // set when either fails.
  bool setUp(std::string& problem) {
    if (!mounted_) return problem = "cannot mount a scratch file system", false;
    for (const char* dir : {"/flash/var/pdb", "/flash/rw/pckg", "/ram/pdb", "/rw", "/dev"})
      makeDirs(templ_ + dir);
    if (scenario_.shell) {
      makeDirs(templ_ + "/flash/dev");
      ::mknod((templ_ + "/flash/dev/null").c_str(), S_IFCHR | 0666, makedev(1, 3));
      const std::string copy =
          "cp -L --parents /bin/bash $(ldd /bin/bash | grep -o '/[^ ]*') " + templ_ + "/flash";
      if (std::system(copy.c_str()) != 0) return problem = "cannot copy a shell", false;
    }
    for (std::size_t phase = 0; phase < scenario_.phases.size(); ++phase) {
      if (phase > 0) runChild(templ_);
      for (const Placed& file : scenario_.phases[phase]) {
        makeDirs(fs::path(templ_ + file.path).parent_path());
        writeFile(templ_ + file.path, file.content);
      }
    }
    before_ = outcomeOf(templ_, false).tree;
    for (const char* top : {"/flash/rw/pckg", "/flash/var/pckg", "/ram"})
      list(templ_, top, false, inputs_);
    std::erase_if(inputs_, [](const auto& entry) { return isDir(entry.second); });
    fresh();
    calls_ = runChild(root_);
    after_ = outcomeOf(root_);
    problem = judged(rerun());  // of a second uninterrupted run
    return problem.empty();
  }

  const std::string& calls() const { return calls_; }

  // What the point of mode at call n finds amiss; empty when it passes.
  std::string point(const Mode& mode, std::uint64_t n) {
    if (mode.cut != Mode::None) return cut(n, mode.cut == Mode::Synced);
    fresh();
    for (int run = 0; run < mode.runs; ++run) runChild(root_, {}, n + mode.offset, mode.fault);
    return judged(rerun());
  }

  // A power cut while call n is made. Writes reach the flash in order, and a
  // sync or an fsync makes all before it durable (the flash file system
  // commits its journal as a whole): the cut leaves what a kill right after
  // some call k leaves, k from the last sync before call n (synced) to n; then
  // RAM is emptied (the schedule files and the RAM copies with it).
  std::string cut(std::uint64_t n, bool synced) {
    const std::string syncs = {char(FileCall::SyncFile), char(FileCall::SyncAll)};
    const std::size_t sync = n > 1 ? calls_.find_last_of(syncs, n - 2) : std::string::npos;
    const std::uint64_t k = !synced ? n : sync == std::string::npos ? 0 : sync + 1;
    fresh();
    runChild(root_, {}, k + 1);
    std::error_code ignored;
    fs::remove_all(root_ + "/ram", ignored);
    makeDirs(root_ + "/ram/pdb");
    // What the device holds once a run has read the journal (a listing does).
    runChild(root_, {"--show"});
    const Tree now = outcomeOf(root_, false).tree;
    if (const std::string why = wholePackages(now); !why.empty()) return "after the cut: " + why;
    const Outcome& next = rerun();
    // With every staged and schedule file still there, the rerun does all.
    if (std::includes(now.begin(), now.end(), inputs_.begin(), inputs_.end())) return judged(next);
    if (const std::string why = wholePackages(next.tree); !why.empty())
      return "after the rerun: " + why;
    return next.stable ? "" : "a second rerun changes the tree";
  }

 private:
  // Lays the root out anew from the template; false when it cannot.
  bool fresh() {
    std::error_code ignored;
    if (scenario_.flashBytes) ::umount2((root_ + "/flash").c_str(), MNT_DETACH);
    fs::remove_all(root_, ignored);
    makeDirs(root_ + "/flash");
    const std::string size = "size=" + std::to_string(scenario_.flashBytes);
    if (scenario_.flashBytes)
      ::mount("tmpfs", (root_ + "/flash").c_str(), "tmpfs", 0, size.c_str());
    return std::system(("cp -a " + templ_ + "/. " + root_ + "/").c_str()) == 0;
  }

  // The rerun from the root's state, remembered by everything a run can read:
  // two roots alike in that lead to the same rerun.
  const Outcome& rerun() {
    Tree key;
    for (const char* top : {"/flash", "/rw", "/ram", "/proc"}) list(root_, top, true, key);
    if (const auto known = reruns_.find(key); known != reruns_.end()) return known->second;
    runChild(root_);
    Outcome result = outcomeOf(root_);
    runChild(root_);
    result.stable = outcomeOf(root_, false).tree == result.tree;
    return reruns_.emplace(key, std::move(result)).first->second;
  }

  // What differs from the uninterrupted run; empty when nothing does.
  std::string judged(const Outcome& rerun) const {
    const Tree &have = rerun.tree, &want = after_.tree;
    const auto [a, b] = std::mismatch(have.begin(), have.end(), want.begin(), want.end());
    if (a != have.end()) return "rerun has " + a->first + ' ' + a->second;
    if (b != want.end()) return "rerun lacks " + b->first + ' ' + b->second;
    if (rerun.listing != after_.listing) return "rerun lists otherwise";
    return rerun.stable ? "" : "a second rerun changes the tree";
  }

  // A power cut must leave each package wholly its release of before the run
  // or of after it: its database entry is one of them, and every path its files
  // list names is, below /flash or its disabled place, as that release left it.
  // A package both releases have is not lost; nothing is left that neither has
  // but the installer's own files right below /flash (its log and markers).
  std::string wholePackages(const Tree& now) const {
    const std::string db = "/flash/var/pdb/";
    const auto isPackage = [&](const Tree::value_type& entry) {
      return entry.first.starts_with(db) && entry.first.find('/', db.size()) == std::string::npos &&
             entry.first[db.size()] != '.' && isDir(entry.second);
    };
    const auto entryOf = [&](const Tree& tree, const std::string& dir) {
      return Tree(tree.lower_bound(dir + '/'), tree.lower_bound(dir + '0'));  // '0' follows '/'
    };
    for (const auto& [path, what] : now)
      if (!path.starts_with(db) && !path.starts_with("/flash/rw/") &&
          (path.find('/', 7) != std::string::npos || isDir(what)) && !before_.contains(path) &&
          !after_.tree.contains(path))
        return "stray " + path;
    for (const auto& entry : before_)
      if (isPackage(entry) && !now.contains(entry.first) && after_.tree.contains(entry.first))
        return "lost package " + entry.first;
    for (const auto& entry : now) {
      if (!isPackage(entry)) continue;
      const std::string name = entry.first.substr(db.size());
      const Tree mine = entryOf(now, entry.first);
      const Tree* release = mine == entryOf(before_, entry.first) ? &before_ : &after_.tree;
      if (mine != entryOf(*release, entry.first))
        return "entry of " + name + " is of neither release";
      std::ifstream files(root_ + entry.first + "/files");
      for (std::string path; std::getline(files, path);) {
        bool placed = false;
        for (const std::string& file : {"/flash/" + path, "/flash/x/" + name + "/" + path}) {
          if (!release->contains(file)) continue;
          if (!now.contains(file) || now.at(file) != release->at(file))
            return "file " + file + " of " + name + " is not of its release";
          placed = true;
        }
        if (!placed) return "file " + path + " of " + name + " is in no release";
      }
    }
    return {};
  }

  const Scenario& scenario_;
  const bool mounted_;
  const std::string templ_, root_;
  std::string calls_;
  Tree before_, inputs_;  // inputs: the staged files and schedule files
  Outcome after_;
  std::map<Tree, Outcome> reruns_;
};

}  // namespace

std::string harnessUnavailable() {
  if (::geteuid() != 0) return "the crash harness needs root (it changes roots and mounts)";
  static const bool isolated = ::unshare(CLONE_NEWNS) == 0 &&
                               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return isolated ? "" : "cannot make a mount namespace of its own here";
}

std::vector<Tally> measure(const Scenario& scenario, bool sampleOnly, std::string& problem) {
  Runner runner(scenario);
  if (!runner.setUp(problem)) return {};
  std::vector<Tally> tallies;
  for (const Mode& mode : modes) {
    Tally& tally = tallies.emplace_back(Tally{mode.name, 0, 0, 0, 0, {}});
    int points = 0;
    for (std::uint64_t n = 1; n <= runner.calls().size(); ++n) {
      if (!applies(mode, runner.calls()[n - 1], n)) continue;
      const bool inSample = points++ % sampleStep == 0;
      if (sampleOnly && !inSample) continue;
      const std::string why = runner.point(mode, n);
      tally.tried++, tally.passed += why.empty();
      tally.sampled += inSample, tally.sampledPassed += inSample && why.empty();
      if (!why.empty() && tally.failures.size() < failuresKept)
        tally.failures.push_back("N " + std::to_string(n) + ": " + why);
    }
  }
  return tallies;
}

}  // namespace crash
