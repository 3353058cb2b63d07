// Installing a package: its shapes, failures, install scripts, records, removal.
#include "install/package_install.h"

#include <unistd.h>

#include <cstdlib>

#include "install/package_removal.h"
#include "install_fixture.h"

using namespace install_testing;

static pkgwriter::PackageLayout withFiles(const std::string& name) {
  return signedLayout(name, "40755:" + name + " 100644:" + name + "/a:a 100644:" + name + "/b:b");
}

TEST(PackageInstall, TheShapesAPackageComesIn) {
  pkgwriter::PackageLayout bare = signedLayout("bare", "");
  bare.fileTree.reset();  // only the header parts and the trailer
  const std::string alternate = packageFile(withFiles("alt"), pkgwriter::alternateMagic);
  pkgwriter::PackageLayout boot = withFiles("boot");
  boot.flags = bootImage;
  pkgwriter::PackageLayout image = withFiles("img");
  image.image = std::string(10000, 'i');
  image.onInstall = "exit 0";
  image.onUninstall = "exit 0";
  const std::string files[] = {packageFile(bare), alternate, packageFile(boot), packageFile(image)};

  DeviceRoot root;
  writeFile(root.at("/flash/UPGRADED"), "left over");
  {
    const ScopedDeviceRoot device(root.path());
    FaultyFiles platform;
    ScopedFilePlatform use(platform);
    CapturedConsole out;
    InstalledPackage bare, alternate, boot, image;
    EXPECT_EQ(installFile(out.console, bare, files[0]), InstallStep::Done);
    EXPECT_EQ(installFile(out.console, alternate, files[1]), InstallStep::Done);
    EXPECT_EQ((std::set<std::string>{"/alt/a", "/alt/b"}), alternate.files);
    // With the boot image already in place: no tree (img is not a boot-image package).
    EXPECT_EQ(installFile(out.console, boot, files[2], false, bootImageInPlace), InstallStep::Done);
    EXPECT_EQ(installFile(out.console, image, files[3], false, bootImageInPlace),
              InstallStep::Done);
    // Three per journaled package (prepared, committed, applied), one for alt.
    EXPECT_EQ(10, platform.syncs);
    EXPECT_EQ((Messages{"installed bare-1.0", "installed alt-1.0", "installed boot-1.0",
                        "installed img-1.0"}),
              out.console.messages);
  }

  // No tree for a boot image in place, nor an install script for an image package.
  EXPECT_EQ(dataFile("install/shapes-made.txt"), listing(root.at("/flash")));
}

TEST(PackageInstall, AFailureIsReportedOnceAndRemovesWhatThePackageMade) {
  DeviceRoot root;
  makeDirs(root.at("/flash/var/pdb/record/version"));
  std::vector<std::vector<std::string>> cases;  // the fields of a line, then the file
  for (const std::string& line : dataLines("install/install-failures.txt")) {
    const std::vector<std::string> c = fieldsOf(line, '|', 7);
    pkgwriter::PackageLayout layout = signedLayout(c[0], c[1] == "none" ? "" : c[1]);
    if (c[1] == "none") layout.fileTree.reset();
    if (c[2] == "no") layout.signer = nullptr;
    if (!c[3].empty()) layout.onInstall = expand(c[3]);
    if (!c[4].empty()) layout.onUninstall = expand(c[4]);
    const std::string file = packageFile(layout);
    cases.push_back(c);
    cases.back().push_back(file.substr(0, file.size() - std::stoul(c[5])));
  }
  ASSERT_EQ(4u, cases.size());
  const ScopedDeviceRoot device(root.path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c[0]);
    CapturedConsole out;
    InstalledPackage package;
    EXPECT_EQ(installFile(out.console, package, c[7]), InstallStep::Failed);
    EXPECT_EQ(Messages{"ERROR: installation of " + c[0] + "-1.0 failed: " + c[6]},
              out.console.messages);
    EXPECT_TRUE(package.files.empty());
  }
  // Entries and files go; directories stay, as does the one standing in an entry.
  EXPECT_EQ(dataFile("install/install-failures-left.txt"), listing(root.at("/flash")));
}

TEST(InstallScripts, RunWithBashInTheFlashRoot) {
  pkgwriter::PackageLayout ok = signedLayout("ok", ""), failing = signedLayout("failing", ""),
                           off = signedLayout("off", "100644:f:f");
  ok.onInstall = "echo ran > /var/ran-ok\necho here > relative-mark\n";
  failing.onInstall = "exit 1";
  off.onInstall = "echo ran > /var/ran-off";
  const std::string files[] = {packageFile(ok), packageFile(failing), packageFile(off)};
  // A shell (bash and the libraries ldd names) and pkg's script on both sides, for a
  // child that stays in the real root.
  DeviceRoot root;
  for (const std::string side : {"", "/flash"}) {
    const std::string copy =
        "cp -L --parents /bin/bash $(ldd /bin/bash | grep -o '/[^ ]*') " + root.at(side);
    ASSERT_EQ(0, std::system(copy.c_str())) << copy;
    makeDirs(root.at(side + "/dev"));
    layOut(root.path(), side + "/var/pdb/pkg/oninstall = #!/bin/bash|echo ran > /var/ran|");
    ::chmod(root.at(side + "/var/pdb/pkg/oninstall").c_str(), 0755);
  }
  const std::string before = fingerprint(root.path(), {"/flash"});
  RUN_CHROOTED(root.path(), [&files] {
    Console& console = childConsole();
    InstalledPackage ok, failing, off;
    off.disabled = true;
    EXPECT_EQ(installFile(console, ok, files[0]), InstallStep::Done);
    EXPECT_EQ(installFile(console, failing, files[1]), InstallStep::Done);
    EXPECT_EQ(installFile(console, off, files[2]), InstallStep::Done);
    EXPECT_EQ((Messages{"installed ok-1.0", "WARNING: package failing-1.0 oninstall script failed",
                        "installed failing-1.0", "installed (disabled) off-1.0"}),
              console.messages);
    InstalledPackage package("pkg");
    package.version = testVersion;
    for (const std::string fault : {"fork", "chroot", "wait"}) {
      SCOPED_TRACE(fault);
      const bool ran = fault == "wait";
      ::unlink("/flash/var/ran");
      Console& console = childConsole();
      FaultyDevice platform(fault);
      ScopedInstallPlatform use(platform);
      EXPECT_EQ(ran ? ScriptRun::Passed : ScriptRun::Failed,
                runScript(console, package, "oninstall"));
      EXPECT_EQ(ran, ::access("/flash/var/ran", F_OK) == 0);
      EXPECT_EQ(ran ? Messages{} : Messages{"WARNING: package pkg-1.0 oninstall script failed"},
                console.messages);
    }
    // Without the script there is nothing to run.
    EXPECT_EQ(runScript(console, package, "onuninstall"), ScriptRun::Passed);
    EXPECT_EQ(4u, console.messages.size());
  });
  EXPECT_EQ(before, fingerprint(root.path(), {"/flash"}));
  EXPECT_EQ("ran\n", readFile(root.at("/flash/var/ran-ok")));
  EXPECT_TRUE(exists(root.at("/flash/relative-mark")));  // the working directory is the root
  EXPECT_FALSE(exists(root.at("/flash/var/ran-off")));
  EXPECT_TRUE(exists(root.at("/flash/x/off/f")));
  EXPECT_TRUE(exists(root.at("/flash/var/pdb/off/disabled")));

  DeviceRoot withoutShell;
  RUN_CHROOTED(withoutShell.path(), [&files] {
    Console& console = childConsole();
    InstalledPackage ok;
    EXPECT_EQ(installFile(console, ok, files[0]), InstallStep::Done);
    EXPECT_EQ((Messages{"WARNING: package ok-1.0 oninstall script failed", "installed ok-1.0"}),
              console.messages);
  });
}

// Below a scoped device root the script's root is that root's /flash: the
// shell's stand-in ends the child with whether "/" is that directory.
TEST(InstallScripts, RunInTheFlashOfAScopedDeviceRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "changing the root needs root";
  DeviceRoot root;
  layOut(root.path(), "/flash/var/pdb/pkg/oninstall = exit 0|");
  struct InFlash : DeviceInstallPlatform {
    struct stat flash;
    void runShell(const char*) override {
      struct stat here;
      ::_exit(::stat("/", &here) == 0 && here.st_dev == flash.st_dev && here.st_ino == flash.st_ino
                  ? 0
                  : 1);
    }
  } platform;
  ASSERT_EQ(0, ::stat(root.at("/flash").c_str(), &platform.flash));
  ScopedInstallPlatform use(platform);
  const ScopedDeviceRoot device(root.path());
  CapturedConsole out;
  EXPECT_EQ(runScript(out.console, InstalledPackage("pkg"), "oninstall"), ScriptRun::Passed);
  EXPECT_EQ(Messages{}, out.console.messages);
}

TEST(RegisterPackage, WritesTheRecordOrLeavesNoEntry) {
  DeviceRoot root;
  const ScopedDeviceRoot device(root.path());
  CapturedConsole out;
  Console& console = out.console;
  InstalledPackage bundle("suite");
  bundle.isBundle = true;
  bundle.version = testVersion;
  EXPECT_EQ(registerPackage(console, bundle), InstallStep::Done);
  EXPECT_TRUE(exists(root.at("/flash/var/pdb/suite/version")));

  InstalledPackage unnamed("..");
  EXPECT_EQ(registerPackage(console, unnamed), InstallStep::Failed);
  EXPECT_EQ(Messages{"ERROR: installation of ..-0.0 failed: could not create meta: Invalid "
                     "argument"},
            console.messages);
  console.messages.clear();

  // A path with a line break cannot be listed: the record fails half-written.
  InstalledPackage broken("broken");
  broken.version = testVersion;
  broken.files = {"/a\nb"};
  EXPECT_EQ(registerPackage(console, broken), InstallStep::Failed);
  EXPECT_EQ(Messages{"ERROR: installation of broken-1.0 failed: could not create meta/files: "
                     "Invalid argument"},
            console.messages);
  EXPECT_FALSE(exists(root.at("/flash/var/pdb/broken")));
}

TEST(PackageRemoval, RemovesRecordedFilesAndTheEntryButNothingOutsideFlash) {
  for (const bool otherLink : {false, true}) {
    SCOPED_TRACE(otherLink ? "the boot image has another link" : "last link to the boot image");
    DeviceRoot root;
    layOut(root.path(),
           "/victim = outside\n/flash/bin/a = a\n/flash/bin/kept = not recorded\n"
           "/flash/bootimage = image\n/flash/var/pdb/pkg/version = 1 0|\n"
           "/flash/var/pdb/pkg/files = bin/a|\n");
    if (otherLink) ::link(root.at("/flash/bootimage").c_str(), root.at("/flash/image").c_str());
    const std::string before = fingerprint(root.path(), {"/flash"});
    {
      const ScopedDeviceRoot device(root.path());
      InstalledPackage package("pkg");
      package.flags = bootImage;
      package.action = ScheduledAction::Uninstall;
      package.files = {"/bin/a", "/gone", "/../victim", "/bin/../../victim"};
      CapturedConsole out;
      removePackage(out.console, package);
      EXPECT_EQ(
          (Messages{"WARNING: file /../victim of pkg-0.0 not removed: outside /flash",
                    "WARNING: file /bin/../../victim of pkg-0.0 not removed: outside /flash"}),
          out.console.messages);
      EXPECT_TRUE(package.files.empty());
      EXPECT_EQ(ScheduledAction::None, package.action);
    }
    EXPECT_EQ(before, fingerprint(root.path(), {"/flash"}));
    EXPECT_FALSE(exists(root.at("/flash/bin/a")));
    EXPECT_TRUE(exists(root.at("/flash/bin/kept")));
    EXPECT_FALSE(exists(root.at("/flash/var/pdb/pkg")));
    EXPECT_EQ(otherLink, exists(root.at("/flash/bootimage")));
  }
}
