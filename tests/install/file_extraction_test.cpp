// The file extractor on scratch roots: entries, objects in the way, failures.
#include "install/file_extraction.h"

#include <utime.h>

#include "install_fixture.h"

using namespace install_testing;

TEST(FileExtraction, EveryEntryTypeWithItsAttributes) {
  if (::geteuid() != 0) GTEST_SKIP() << "device nodes and other owners need root";
  std::string tree;
  for (const std::string& line : dataLines("install/entries.txt")) tree += line + ' ';
  const std::string file = packageFile(signedLayout("tree", tree));
  const std::string recorded = dataFile("install/entries-recorded.txt");
  DeviceRoot root;
  const ScopedDeviceRoot scoped(root.path());
  const mode_t mask = ::umask(077);  // the modes must come from the entries, not from the mask
  FakeFlash device;                  // a processor of variant 1, without flash nodes
  device.processor = 0x80830000;
  ScopedFlashPlatform variant(device);
  for (const bool disabled : {false, true}) {
    CapturedConsole out;
    InstalledPackage package("tree");
    package.version = testVersion;
    package.disabled = disabled;
    EXPECT_EQ(installFile(out.console, package, file, true), InstallStep::Done);
    EXPECT_TRUE(out.console.messages.empty());
    std::string files;
    for (const std::string& path : package.files) files += path + '\n';
    const std::size_t half = recorded.find("/x/");  // the files of a disabled package
    EXPECT_EQ(disabled ? recorded.substr(half) : recorded.substr(0, half), files);
  }
  ::umask(mask);
  EXPECT_EQ(dataFile("install/entries-made.txt"), listing(root.at("/flash")));
}

TEST(FileExtraction, ObjectsAlreadyAtAnEntrysPath) {
  DeviceRoot root;
  const auto at = [&root](const std::string& name) { return root.at("/flash/" + name); };
  ::mkdir(at("keep").c_str(), 0700);
  const utimbuf old{5000, 5000};
  ::utime(at("keep").c_str(), &old);
  writeFile(at("old"), "old contents");
  ::link(at("old").c_str(), at("old.bak").c_str());
  makeDirs(at("realdir"));
  ::symlink("realdir", at("dirlink").c_str());
  ::symlink("realdir", at("filelink").c_str());
  ::mkfifo(at("pipe").c_str(), 0600);
  ::symlink("old.bak", at("tofile").c_str());
  const std::string file =
      packageFile(signedLayout("ex",
                               "40755:keep::0,0,6000 100644:old:new 40755:dirlink::0,0,6000 "
                               "100644:filelink:f 120777:pipe:old 10644:tofile"));
  {
    const ScopedDeviceRoot device(root.path());
    InstalledPackage package("ex");
    CapturedConsole out;
    EXPECT_EQ(installFile(out.console, package, file, true), InstallStep::Done);
    EXPECT_EQ((std::set<std::string>{"/old", "/filelink", "/pipe", "/tofile"}), package.files);
  }
  // A directory stays as it is, a hard link keeps the old contents, a link to a
  // directory counts as one, and the other links go rather than their targets.
  EXPECT_EQ(dataFile("install/objects-in-the-way-left.txt"), listing(root.at("/flash")));
}

TEST(FileExtraction, FailuresByKindAndEntriesThatWouldLeaveTheTree) {
  std::vector<std::vector<std::string>> cases;  // the fields of a line, then the file
  for (const std::string& line : dataLines("install/extraction-failures.txt")) {
    cases.push_back(fieldsOf(line, '|', 4));
    cases.back().push_back(packageFile(signedLayout("bad", cases.back()[1])));
  }
  ASSERT_EQ(27u, cases.size());
  DeviceRoot root;
  makeDirs(root.at("/flash/store"));
  ::symlink("/flash/store", root.at("/flash/shared").c_str());  // a link of the device
  // A revision whose variant the flash driver decides, without the driver:
  // asking the device sets errno.
  struct DriverMissing : FakeFlash {
    std::optional<int> featureWord() override { return errno = ENOENT, std::nullopt; }
  } flash;
  flash.processor = 0x80211000;
  const std::string before = fingerprint(root.path(), {"/flash"});
  {
    const ScopedDeviceRoot device(root.path());
    ScopedFlashPlatform variant(flash);
    for (const auto& c : cases) {
      SCOPED_TRACE(c[0]);
      CapturedConsole out;
      InstalledPackage package("bad");
      package.version = testVersion;
      FaultyFiles faulty;  // with no fault the device's own calls
      faulty.fault = c[3];
      const ScopedFilePlatform platform(faulty);
      EXPECT_EQ(c[2].empty() ? InstallStep::Done : InstallStep::Failed,
                installFile(out.console, package, c[4], true));
      EXPECT_EQ(
          c[2].empty() ? Messages{} : Messages{"ERROR: installation of bad-1.0 failed: " + c[2]},
          out.console.messages);
    }
  }
  EXPECT_EQ(before, fingerprint(root.path(), {"/flash"}));
  EXPECT_EQ("w", readFile(root.at("/flash/whole")));
  EXPECT_EQ("inside", readFile(root.at("/flash/dang")));
  EXPECT_EQ("stored", readFile(root.at("/flash/store/f")));
}
