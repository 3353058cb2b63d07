// Packages, bundles and recorded files lists that try to reach outside /flash
// through links (their own, the device's, or another package's), into the
// database or at the installer's own files, and trees that cost too much:
// "installer -r <root> -" must leave everything outside /flash, and a canary
// beside the root, as it was, and end.
#include <stdio.h>

#include "e2e_helpers.h"
#include "support/fingerprint.h"

namespace {

using namespace e2e;
using pkgwriter::FileTreeBuilder;

pkgwriter::PackageLayout withTree(const std::string& name, const FileTreeBuilder& tree) {
  pkgwriter::PackageLayout layout = package(name);
  layout.fileTree = tree.compressed();
  return layout;
}

std::string fileWith(const std::string& name, const FileTreeBuilder& tree) {
  return fileOf(withTree(name, tree));
}

// Links: "path -> target" below the root; files: "path" holding "secret".
void plant(const DeviceRoot& root, const Lines& links, const Lines& files = {}) {
  for (const std::string& file : files) {
    makeDirs(root.at(file.substr(0, file.rfind('/'))));
    writeFile(root.at(file), "secret\n");
  }
  for (const std::string& link : links) {
    const std::size_t arrow = link.find(" -> ");
    ASSERT_EQ(0, ::symlink(link.substr(arrow + 4).c_str(), root.at(link.substr(0, arrow)).c_str()));
  }
}

// Directory entries "d", "d/d", ... depth levels deep.
FileTreeBuilder nested(int depth) {
  FileTreeBuilder tree;
  std::string name = "d";
  for (int level = 0; level < depth; ++level, name += "/d") tree.addDirectory(name);
  return tree;
}

// Links whose names take about 4,000 bytes each: a files list far larger than the package.
FileTreeBuilder longNames(int count) {
  FileTreeBuilder tree;
  std::string dir;
  for (int level = 0; level < 19; ++level) dir += std::string(200, 'n') + '/';
  for (int i = 0; i < count; ++i) tree.addSymlink(dir + std::to_string(i), "x");
  return tree;
}

// Removes a chain of directories "d/d/..." below flash one level at a time, each
// path short: too deep for the scratch directory's own removal.
void unnest(const DeviceRoot& root) {
  const std::string d = root.at("/flash/d"), moved = root.at("/flash/moved");
  while (::rename((d + "/d").c_str(), moved.c_str()) == 0 && ::rmdir(d.c_str()) == 0)
    ::rename(moved.c_str(), d.c_str());
}

struct Attack {
  std::string name;
  std::function<void(const DeviceRoot&)> setUp;
  std::function<Lines()> streams;  // one installer run each
  std::string expected;            // a line of the last run's output
};

const std::string broken = "ERROR: installation of evil-1.0 failed: broken package";

const std::vector<Attack> attacks = {
    {"a package's link to the root, then an entry below it", nullptr,
     [] {
       return Lines{
           fileWith("evil", FileTreeBuilder().addSymlink("l", "/").addFile("l/etc/x", "x"))};
     },
     broken},
    {"a device link out of /flash",
     [](const DeviceRoot& root) { plant(root, {"/flash/etc -> /etc"}, {"/etc/passwd"}); },
     [] { return Lines{fileWith("evil", FileTreeBuilder().addFile("etc/passwd", "x"))}; }, broken},
    {"a device alias with a package link climbing out",
     [](const DeviceRoot& root) {
       makeDirs(root.at("/flash/bin"));
       plant(root, {"/flash/sbin -> bin"});
     },
     [] {
       return Lines{fileWith(
           "evil", FileTreeBuilder().addSymlink("bin/up", "../..").addFile("sbin/up/etc/x", ""))};
     },
     broken},
    {"a later member of the same bundle", nullptr,
     [] {
       return Lines{bundleFile("suite", v1,
                               {withTree("first", FileTreeBuilder().addSymlink("m", "/")),
                                withTree("evil", FileTreeBuilder().addFile("m/etc/x", ""))})};
     },
     "ERROR: installation of suite-1.0 failed: broken package"},
    {"a later package through an earlier package's link", nullptr,
     [] {
       return Lines{fileWith("first", FileTreeBuilder().addSymlink("m", "/etc")),
                    fileWith("evil", FileTreeBuilder().addFile("m/shadow", "x"))};
     },
     broken},
    {"a recorded files list through a link out of /flash",
     [](const DeviceRoot& root) {
       plant(root, {"/flash/out -> /etc"}, {"/etc/passwd"});
       makeDirs(root.at("/flash/var/pdb/evil"));
       writeFile(root.at("/flash/var/pdb/evil/version"), "16803328 1704067200\n");
       writeFile(root.at("/flash/var/pdb/evil/files"), "out/passwd\nbin/evil\n");
     },
     [] { return Lines{fileOf(package("evil", v2))}; },
     "WARNING: file /out/passwd of evil-1.0 not removed: outside /flash"},
    {"a database entry that is a link out of /flash",
     [](const DeviceRoot& root) { plant(root, {"/flash/var/pdb/evil -> /etc"}, {"/etc/passwd"}); },
     [] { return Lines{fileOf(package("evil"))}; }, "installed evil-1.0"},
    {"an entry in the database", nullptr,
     [] {
       return Lines{fileWith("evil", FileTreeBuilder().addFile("var/pdb/other/version", "1 1\n"))};
     },
     broken},
    {"an entry at the installer's own file", nullptr,
     [] { return Lines{fileWith("evil", FileTreeBuilder().addFile("postlog", "x"))}; }, broken},
    {"a files list far larger than its package", nullptr,
     [] { return Lines{fileWith("evil", longNames(600))}; }, broken},
    {"2,040 nested directories", nullptr, [] { return Lines{fileWith("deep", nested(2040))}; },
     "installed deep-1.0"},
};

TEST(Confinement, NothingOutsideFlashChangesWhateverThePackagesTry) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  for (const Attack& attack : attacks) {
    SCOPED_TRACE(attack.name);
    ScratchDir canary;
    writeFile(canary / "kept", "canary\n");
    const DeviceRoot root;
    lay(root, "stream-base.before");  // a device without packages would halt after a failure
    if (attack.setUp) attack.setUp(root);
    const Lines streams = attack.streams();
    const std::string outside = fingerprint(root.path(), {"/flash"}),
                      beside = fingerprint(canary.path());
    ProcessResult result;
    for (const std::string& bytes : streams) {
      ProcessOptions options;
      options.input = bytes;
      options.timeLimitSeconds = 60;
      result = root.run({"-"}, options);
      EXPECT_EQ(0, result.stateAtTimeLimit) << "the run did not end";
    }
    const Lines shown = shownLines(result.output);
    EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), attack.expected)) << result.output;
    EXPECT_EQ(outside, fingerprint(root.path(), {"/flash"}));
    EXPECT_EQ(beside, fingerprint(canary.path()));
    unnest(root);
  }
}

}  // namespace
