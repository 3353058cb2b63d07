// What a package or a user may plant at the installer's own names (a link, a
// hard link to a file elsewhere, a named pipe, a device node, a directory, a
// link in place of a directory on the way): the run neither writes nor removes
// through it, never blocks on it, and leaves everything outside /flash as it
// was. Also the bounded reading of an old message log, and a stream that does
// not fit on flash.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>

#include "e2e_helpers.h"
#include "support/chroot_runner.h"
#include "support/fingerprint.h"

namespace {

using namespace e2e;

enum Plant { Symlink, HardLink, Fifo, Device, Directory, LinkedParent };
enum After { Regular, Absent, Any };

struct Attack {
  const char* run;  // stream, image, upgrade, blocked-image or schedule: see laidOut
  const char* path;
  std::vector<Plant> plants;
  After after;  // what stands at path once the run is over
};

const std::vector<Plant> everyKind = {Symlink, HardLink, Fifo, Device, Directory};

const std::vector<Attack> attacks = {
    {"upgrade", "/flash/postlog", everyKind, Regular},
    {"stream", "/flash/postlog", everyKind, Regular},
    {"upgrade", "/flash/PCKGS_CHANGED", everyKind, Regular},
    {"stream", "/flash/var/pdb/image", everyKind, Absent},
    {"image", "/flash/bootimage", {Symlink, Fifo, Device}, Regular},
    {"upgrade", "/ram/tool.tpk", everyKind, Absent},
    {"upgrade", "/proc/meminfo", {Fifo}, Any},
    {"upgrade", "/flash/rw/pckg/tool.tpk", {LinkedParent}, Any},
    {"schedule", "/ram/pdb/a/schedule", {LinkedParent}, Any},
    {"blocked-image", "/ram/bootimage", everyKind, Regular},
    {"blocked-image", "/rw/pckg/.images/kernel", {LinkedParent}, Regular},
};

// A root laid out for the run, which it makes: a stream of a plain or a boot
// image package, an upgrade run over one staged package with room in RAM, an
// upgrade run over a boot image package whose image place in the database is
// blocked by a directory (its image goes to /rw/pckg/.images), or a run that
// consumes a schedule file (tests/data/e2e/own-files-<run>.before.txt). An
// earlier log, and a victim outside /flash.
std::string laidOut(const DeviceRoot& root, const std::string& run, ProcessOptions& options) {
  lay(root, "own-files-" + run + ".before");
  pkgwriter::PackageLayout kernel = package("kernel");
  kernel.image = run == "image" ? std::string(9000, 'k') : "boot image";
  kernel.flags = pkgwriter::bootImageFlag;
  if (run == "stream") options.input = fileOf(package("tool"));
  if (run == "image") options.input = fileOf(kernel);
  if (run == "upgrade") writeFile(root.at("/flash/rw/pckg/tool.tpk"), fileOf(package("tool")));
  if (run == "blocked-image") writeFile(root.at("/flash/rw/pckg/kernel.tpk"), fileOf(kernel));
  return options.input.empty() ? "" : "-";
}

// Plants kind at path; canary is a file outside the root. The path to leave
// out of the fingerprint, or empty when the device cannot be made here.
std::string plant(const DeviceRoot& root, const std::string& path, Plant kind,
                  const std::string& canary) {
  const std::string at = root.at(path), parent = path.substr(0, path.rfind('/'));
  if (kind != LinkedParent) ::unlink(at.c_str());
  switch (kind) {
    case Symlink:
      EXPECT_EQ(::symlink("/etc/passwd", at.c_str()), 0);
      break;
    case HardLink:
      EXPECT_EQ(::link(canary.c_str(), at.c_str()), 0);
      break;
    case Fifo:
      EXPECT_EQ(::mkfifo(at.c_str(), 0644), 0);
      break;
    case Device:
      if (::mknod(at.c_str(), S_IFCHR | 0644, makedev(1, 3)) != 0) return "";
      break;
    case Directory:
      makeDirs(at);
      writeFile(at + "/inside", "x\n");
      break;
    case LinkedParent:
      EXPECT_EQ(std::rename(root.at(parent).c_str(), root.at("/victim").c_str()), 0);
      EXPECT_EQ(::symlink("/victim", root.at(parent).c_str()), 0);
      return parent;
  }
  return path;
}

TEST(OwnFiles, NothingPlantedAtTheInstallersNamesIsFollowedOrBlocksTheRun) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  for (const Attack& attack : attacks) {
    for (const Plant kind : attack.plants) {
      SCOPED_TRACE(std::string(attack.run) + " " + attack.path + " kind " + std::to_string(kind));
      const DeviceRoot root;
      const ScratchDir outside;
      writeFile(outside.path() + "/canary", "outside\n");
      ProcessOptions options;
      options.timeLimitSeconds = 20;
      const std::string argument = laidOut(root, attack.run, options);
      const std::string planted = plant(root, attack.path, kind, outside.path() + "/canary");
      if (planted.empty()) continue;
      std::vector<std::string> skip = {"/flash", planted};
      if (std::string(attack.run) == "blocked-image")  // what the run makes outside /flash
        skip.insert(skip.end(), {"/ram/bootimage", "/rw/pckg/.images"});
      const std::string before = fingerprint(root.path(), skip) + fingerprint(outside.path());

      const ProcessResult result = root.run(argument.empty() ? Lines{} : Lines{argument}, options);
      EXPECT_EQ(result.stateAtTimeLimit, 0) << "the run blocked";
      EXPECT_EQ(result.status, 0) << result.output;
      EXPECT_EQ(fingerprint(root.path(), skip) + fingerprint(outside.path()), before);
      struct stat status;
      const bool stands = ::lstat(root.at(attack.path).c_str(), &status) == 0;
      if (attack.after == Regular) {
        EXPECT_TRUE(stands && S_ISREG(status.st_mode));
      } else if (attack.after == Absent) {
        EXPECT_FALSE(stands);
      }
    }
  }
}

// The copy of a stream that does not fit on flash fails: reported as the
// package's failed installation when its header made it into the copy, with
// an error line when nothing did; the partial copy goes.
TEST(OwnFiles, AStreamLargerThanTheFlashIsReportedAndItsCopyRemoved) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  pkgwriter::PackageLayout layout = package("kernel");
  layout.image = std::string(1 << 20, 'k');
  const std::string stream = fileOf(layout);
  for (const bool full : {false, true}) {
    const DeviceRoot root;
    testing_support::ChrootOptions smallFlash;
    smallFlash.tmpfsAt = root.path() + "/flash";
    smallFlash.tmpfsBytes = 128 * 1024;
    RUN_CHROOTED(
        "/",
        [&] {
          makeDirs(root.at("/flash/var/pdb/base"));  // a device without packages halts
          writeFile(root.at("/flash/var/pdb/base/files"), "");
          if (full) {
            std::FILE* filler = std::fopen(root.at("/flash/filler").c_str(), "w");
            while (filler != nullptr && std::fputc('f', filler) != EOF &&
                   std::fflush(filler) == 0) {
            }
            if (filler != nullptr) std::fclose(filler);
          }
          ProcessOptions options;
          options.input = stream;
          options.timeLimitSeconds = 20;
          const ProcessResult result = root.run({"-"}, options);
          EXPECT_EQ(result.status, 1);
          EXPECT_NE(result.output.find(full ? "ERROR: could not save the package stream: "
                                            : "ERROR: installation of kernel-1.0 failed: disk "
                                              "is too small"),
                    std::string::npos)
              << result.output;
          EXPECT_FALSE(exists(root.at("/flash/var/pdb/image")));
        },
        smallFlash);
  }
}

}  // namespace
