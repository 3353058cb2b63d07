// Runs the whole installer over a scratch root built from arbitrary bytes.
// The first input byte chooses the command line:
//   bit 0 "-q", bit 1 "--reinstall", bit 2 "-down", bit 3 "--cleanup",
//   bit 4 "--show", bit 5 install scripts fail (they are never really run)
// The rest is a sequence of entries as unpackEntries (scratch_root.h) decodes
// them, kind modulo 16, where kinds 11-15 are:
//   11   a staged file /flash/rw/pckg/NAME as it stands
//   12   a staged package /flash/rw/pckg/NAME.tpk signed here with the
//        development key: a header part for NAME (version from the content's
//        first 4 bytes, little-endian), then the rest of the content as its
//        parts
//   13   the same, but the rest is a file tree's entries, compressed here
//        into its only part
//   14   a staged file /ram/NAME.tpk (what a reinstall looks at)
//   15   the marker /rw/DOWNGRADE
// Beside the installer's places the scratch root holds /outside, and /flash a
// link "out" to it (the link is the run's to remove); after the run nothing in
// /outside and no other top-level entry may have changed. An installed set
// that ends up empty halts the installer for good: here that halt returns to
// the harness instead (see haltForGood below).
// Scripts are not run: the harness stands in for the child process. The root
// is changed at the first input (see the database loader's target): run it
// with relative paths.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console/console.h"
#include "driver/installer_run.h"
#include "files/file_platform.h"
#include "fuzz_check.h"
#include "install/install_platform.h"
#include "pdb/package_dir.h"
#include "pkgwriter/pkgwriter.h"
#include "scratch_root.h"
#include "upgrade/halt.h"

namespace {

struct Halted {};

// The device's file calls without the syncs: they would flush the host's
// disks at every input.
class NoSyncPlatform final : public DeviceFilePlatform {
public:
  int syncFile(int) override { return 0; }
  void syncAll() override {}
};

// Stands in for the script's child: no process, an exit status of choice.
class NoScriptPlatform final : public InstallPlatform {
public:
  pid_t forkChild() override { return 4242; }
  int changeRoot(const char*) override { return -1; }
  void runShell(const char*) override {}
  pid_t waitChild(pid_t child, int* status) override {
    *status = failing ? 256 : 0;
    return child;
  }
  bool failing = false;
};

const pkgwriter::TrailerSigner& signer() {
  static const pkgwriter::TrailerSigner key = pkgwriter::keyFileSigner(FUZZ_SIGNER_KEY);
  return key;
}

std::string signedPackage(const std::string& name, const std::string& content, bool tree) {
  std::uint32_t version = 0;
  for (std::size_t i = 0; i < 4 && i < content.size(); ++i)
    version |= std::uint32_t(std::uint8_t(content[i])) << 8 * i;
  const std::string rest = content.size() > 4 ? content.substr(4) : std::string();
  std::string body = pkgwriter::encodePart(pkgwriter::HeaderPart,
                                           pkgwriter::encodeHeaderPayload(name, version, 1700000000));
  body += tree ? pkgwriter::encodePart(pkgwriter::FileTreePart, pkgwriter::zlibCompress(rest, 1))
               : rest;
  return pkgwriter::wrapFile(pkgwriter::signBody(body, signer()));
}

void put(const std::string& path, const std::string& bytes) {
  writeFile(path, bytes.data(), bytes.size());
}

// Places the entries of kinds 11-15 (see the top of this file).
void putStaged(unsigned kind, const std::string& name, const std::string& content) {
  if (kind == 11) {
    put("/flash/rw/pckg/" + name, content);
  } else if (kind == 12 || kind == 13) {
    put("/flash/rw/pckg/" + name + ".tpk", signedPackage(name, content, kind == 13));
  } else if (kind == 14) {
    put("/ram/" + name + ".tpk", content);
  } else {
    put("/rw/DOWNGRADE", content);
  }
}

// The names at the top of the root, and everything in /outside.
std::string describeOthers() {
  std::string text;
  if (DIR* root = ::opendir("/")) {
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(root)) names.push_back(entry->d_name);
    ::closedir(root);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) text += name + "\n";
  }
  return text + describeTree("/outside");
}

void prepareRoot() {
  const int root = ::open("/", O_RDONLY | O_DIRECTORY);
  CHECK(root >= 0);
  for (const char* top : {"flash", "ram", "rw"}) removeTree(root, top);
  ::close(root);
  makeDirs("/flash/var/pdb");
  makeDirs("/flash/rw/pckg");
  makeDirs("/ram/pdb");
  makeDirs("/rw/pckg/.images");
  CHECK(::symlink("/outside", "/flash/out") == 0);
}

}  // namespace

// The halt of an emptied installed set: back to the harness, not asleep.
void haltForGood() { throw Halted(); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const int quiet = [] {
    signer();  // the key is read before the root changes
    return ::open("/dev/null", O_WRONLY);
  }();
  // The run changes to "/": the engine's relative paths need the old place.
  static const int home = ::open(".", O_RDONLY | O_DIRECTORY);
  enterScratchRoot();
  static const std::string before = [] {
    makeDirs("/outside/dir");
    CHECK(writeFile("/outside/canary", "canary\n", 7));
    prepareRoot();
    return describeOthers();
  }();
  prepareRoot();
  unpackEntries(data + 1, size - 1, 16, putStaged);

  const std::uint8_t mode = data[0];
  std::vector<const char*> argv = {"installer"};
  if (mode & 1) argv.push_back("-q");
  if (mode & 2) argv.push_back("--reinstall");
  if (mode & 4) argv.push_back("-down");
  if (mode & 8) argv.push_back("--cleanup");
  if (mode & 16) argv.push_back("--show");
  NoSyncPlatform files;
  ScopedFilePlatform noSync(files);
  NoScriptPlatform scripts;
  scripts.failing = mode & 32;
  ScopedInstallPlatform noScripts(scripts);

  Console& console = Console::instance();
  console.packages.clear();
  console.messages.clear();
  console.statusLine.clear();
  console.arch.clear();
  console.quiet = false;
  const int out = ::dup(1);
  if (quiet >= 0) ::dup2(quiet, 1);
  bool halted = false;
  try {
    runInstaller(int(argv.size()), argv.data());
  } catch (const Halted&) {
    halted = true;
  }
  std::fflush(stdout);
  if (out >= 0) {
    ::dup2(out, 1);
    ::close(out);
  }
  if (home >= 0) CHECK(::fchdir(home) == 0);
  CHECK(!halted || console.packages.empty());
  CHECK(describeOthers() == before);
  return 0;
}
