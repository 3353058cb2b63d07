// What the console says is what the device holds, and a failure never reports
// success: a bundle's run cut short, a package file that cannot go back to a
// full flash, a stream that does not begin with a header. Outcomes in
// tests/data/e2e/outcome-<case>.txt, the cases explained in the README there.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>

#include "e2e_helpers.h"
#include "support/chroot_runner.h"

namespace {

using namespace e2e;

const std::string staged = "/flash/rw/pckg/";

// The bundle bnd of the members a, b and c; held: a's install script waits on /hold.
std::string bundle(Version version, bool held = false) {
  pkgwriter::PackageLayout a = package("a", version);
  if (held) a.onInstall = "read line < /hold\n";
  return bundleFile("bnd", version, {a, package("b", version), package("c", version)});
}

// The process of the installer running over root, found by its command line.
pid_t installerOver(const DeviceRoot& root) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string commandLine;
    std::getline(std::ifstream(entry.path() / "cmdline"), commandLine);
    if (commandLine.find('\0' + root.path() + '\0') != std::string::npos &&
        commandLine.find("bash") == std::string::npos)
      return static_cast<pid_t>(std::atoi(entry.path().filename().c_str()));
  }
  return -1;
}

// Runs the installer over the stream until a's install script waits on /hold,
// and ends it there, as a power cut would; the shell the script needs goes
// again.
void cutShort(const DeviceRoot& root, const std::string& stream) {
  const std::string flash = root.at("/flash"), hold = flash + "/hold";
  const std::string shell =
      "cp -L --parents $( (echo /bin/bash; ldd /bin/bash) | grep -o '/[^ :]*' | sort -u) " + flash;
  ASSERT_EQ(std::system(shell.c_str()), 0) << shell;
  makeDirs(flash + "/dev");
  ASSERT_EQ(::mkfifo(hold.c_str(), 0600), 0);
  ProcessOptions options;
  options.input = stream;
  options.timeLimitSeconds = 60;
  auto run = std::async(std::launch::async, [&] { return root.run({"-"}, options); });
  int held = -1;  // opens once the script waits to read
  while (held < 0 && run.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
    held = ::open(hold.c_str(), O_WRONLY | O_NONBLOCK);
  EXPECT_GE(held, 0) << "the install script did not run";
  if (held >= 0) ::kill(installerOver(root), SIGKILL);
  EXPECT_EQ(run.get().status, -1);
  if (held >= 0) ::close(held);  // the script reads the end and goes
  for (const char* copied : {"/bin/bash", "/dev", "/hold", "/lib", "/lib64", "/usr"})
    std::filesystem::remove_all(flash + copied);
}

// Takes all the room left on the flash.
void fillFlash(const DeviceRoot& root) {
  std::FILE* filler = std::fopen(root.at("/flash/filler").c_str(), "w");
  while (filler != nullptr && std::fputc('f', filler) != EOF && std::fflush(filler) == 0) {
  }
  if (filler != nullptr) std::fclose(filler);
}

struct Case {
  const char* name;
  Lines earlierStreams;  // each installed by a stream run first
  std::function<void(const DeviceRoot&)> layOut;
  Lines args;
  std::string input;
  bool smallFlash = false;  // the flash is a small tmpfs, full once laid out
};

const std::vector<Case> cases = {
    {"bundle-run-cut-short",
     {bundle(v1)},
     [](const DeviceRoot& root) { cutShort(root, bundle(v2, true)); },
     {"-"},
     bundle(v2, true)},
    {"move-back-fails",
     {},
     [](const DeviceRoot& root) {
       pkgwriter::PackageLayout f = package("f");
       f.deps = {{{"nothere"}}};
       writeFile(root.at(staged + "f.tpk"), fileOf(f));
       lay(root, "outcome-move-back-fails.before");
       fillFlash(root);
     },
     {},
     "",
     true},
    {"list-part-first",
     {},
     {},
     {"-"},
     pkgwriter::wrapFile(pkgwriter::encodePart(3, pkgwriter::encodeListPayload({{"base"}})) +
                         pkgwriter::buildPackageBody(package("tool")))},
};

TEST(Outcomes, FailuresAreReportedAndTheDeviceHoldsWhatTheConsoleSays) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DeviceRoot root;
    testing_support::ChrootOptions options;
    if (c.smallFlash) options.tmpfsAt = root.path() + "/flash", options.tmpfsBytes = 64 * 1024;
    RUN_CHROOTED(
        "/",
        [&] {
          lay(root, "stream-base.before");  // a device without packages halts
          makeDirs(root.at(staged));
          for (const std::string& stream : c.earlierStreams) {
            ProcessOptions earlier;
            earlier.input = stream;
            EXPECT_EQ(root.run({"-"}, earlier).status, 0);
          }
          if (c.layOut) c.layOut(root);
          ProcessOptions run;
          run.input = c.input;
          run.timeLimitSeconds = 20;
          const ProcessResult result = root.run(c.args, run);
          std::remove(root.at("/flash/filler").c_str());
          expectRecorded(std::string("outcome-") + c.name, outcome(result, root));
        },
        options);
  }
}

}  // namespace
