// Installing a package: its shapes, failures, install scripts, removal.
#include "install/package_install.h"

#include <unistd.h>

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

// Below a scoped device root the script's root is that root's /flash: the
// shell's stand-in ends the child with whether "/" is that directory, or with
// success after a failed chroot, as a script run in the wrong root would. The
// process calls fail as fault says: "fork" and "chroot" fail, "wait" is
// interrupted once and waited for again.
TEST(InstallScripts, RunInTheFlashRootOrAreReportedAsFailed) {
  if (::geteuid() != 0) GTEST_SKIP() << "changing the root needs root";
  DeviceRoot root;
  layOut(root.path(), "/flash/var/pdb/pkg/oninstall = exit 0|");
  struct Faulty : DeviceInstallPlatform {
    std::string fault;
    struct stat flash;
    pid_t forkChild() override {
      return fault == "fork" ? (errno = EAGAIN, -1) : DeviceInstallPlatform::forkChild();
    }
    int changeRoot(const char* path) override {
      return fault == "chroot" ? (errno = EPERM, -1) : DeviceInstallPlatform::changeRoot(path);
    }
    pid_t waitChild(pid_t child, int* status) override {
      if (fault == "wait") return fault.clear(), errno = EINTR, -1;
      return DeviceInstallPlatform::waitChild(child, status);
    }
    void runShell(const char*) override {
      struct stat here;
      const bool inFlash =
          ::stat("/", &here) == 0 && here.st_dev == flash.st_dev && here.st_ino == flash.st_ino;
      ::_exit(inFlash || fault == "chroot" ? 0 : 1);
    }
  } platform;
  ASSERT_EQ(0, ::stat(root.at("/flash").c_str(), &platform.flash));
  ScopedInstallPlatform use(platform);
  const ScopedDeviceRoot device(root.path());
  InstalledPackage package("pkg");
  package.version = testVersion;
  for (const std::string fault : {"", "fork", "chroot", "wait"}) {
    SCOPED_TRACE(fault);
    platform.fault = fault;
    const bool ran = fault.empty() || fault == "wait";
    CapturedConsole out;
    EXPECT_EQ(ran ? ScriptRun::Passed : ScriptRun::Failed,
              runScript(out.console, package, "oninstall"));
    EXPECT_EQ(ran ? Messages{} : Messages{"WARNING: package pkg-1.0 oninstall script failed"},
              out.console.messages);
  }
  CapturedConsole out;  // without the script there is nothing to run
  EXPECT_EQ(runScript(out.console, package, "onuninstall"), ScriptRun::Passed);
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
