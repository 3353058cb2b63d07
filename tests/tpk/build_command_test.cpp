// tpk build and tpk bundle, run as a package maker runs them; the output is
// checked with an independent decoder and with the installer's own reader.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "model/package.h"
#include "model/version.h"
#include "pkgfile/header_parts.h"
#include "pkgwriter/pkgwriter.h"
#include "support/scratch_dir.h"
#include "tpk/relation_text.h"
#include "tpk_helpers.h"

using namespace tpk_test;
using testing_support::makeDirs;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

// A small tree with one entry of every kind the build machine can hold.
void makeTree(const std::string& root) {
  makeDirs(root + "/opt/tool/bin");
  makeDirs(root + "/opt/tool/etc");
  writeFile(root + "/opt/tool/bin/tool", "#!/bin/sh\necho tool\n");
  chmod((root + "/opt/tool/bin/tool").c_str(), 04755);
  writeFile(root + "/opt/tool/etc/tool.conf", "level=3\n");
  chmod((root + "/opt/tool/etc/tool.conf").c_str(), 0640);
  ASSERT_EQ(symlink("tool", (root + "/opt/tool/bin/t").c_str()), 0);
  ASSERT_EQ(mkfifo((root + "/opt/tool/ctl").c_str(), 0620), 0);
  ASSERT_EQ(mknod((root + "/opt/tool/null0").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  chmod((root + "/opt/tool/null0").c_str(), 0666);
  chmod((root + "/opt/tool/ctl").c_str(), 0620);
}

}  // namespace

TEST(TpkBuild, EveryHeaderFieldReadsBackThroughTheInstallersReader) {
  ScratchDir dir;
  makeTree(dir / "root");
  const auto r = runTpk({"build", "-o", dir / "tool.tpk", "--name", "tool", "--version",
                         "6.42beta5", "--build-time", "1704067200", "--arch", "powerpc", "--note",
                         "a note", "--text24", "t24", "--text2", "t2", "--depends",
                         "system>=6.41,<=6.49", "--depends", "lib", "--provides", "tool-api=1.2:-3",
                         "--conflicts", "old-tool<=1.0", "--boot-image", "--owner", "0:0",
                         dir / "root"});
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(r.output, "");

  PackageFile file;
  ASSERT_TRUE(loadPackageFile(file, dir / "tool.tpk"));
  EXPECT_EQ(file.name, "tool");
  EXPECT_EQ(file.version, makeVersion(6, 42, Beta, 5));
  EXPECT_EQ(file.buildTime, 1704067200u);
  EXPECT_EQ(file.flags, 1u);
  EXPECT_EQ(file.architecture, "powerpc");
  EXPECT_EQ(file.note, "a note");
  EXPECT_EQ(file.text24, "t24");
  EXPECT_EQ(file.text2, "t2");
  EXPECT_FALSE(file.isBundle || file.alternateMagic);
  const auto texts = [](const std::vector<Dependency>& list) {
    std::vector<std::string> out;
    for (const Dependency& d : list) out.push_back(tpk::relationText(d.name, d.min, d.max, d.extra));
    return out;
  };
  EXPECT_EQ(texts(file.deps), (std::vector<std::string>{"system>=6.41,<=6.49", "lib"}));
  EXPECT_EQ(texts(file.provides), (std::vector<std::string>{"tool-api=1.2:-3"}));
  EXPECT_EQ(texts(file.conflicts), (std::vector<std::string>{"old-tool<=1.0"}));
}

// The tree as tpk contents shows it; that view is checked against the
// independent samples in the inspection tests.
TEST(TpkBuild, TreeEntriesAreSortedAndCarryTypeModeOwnerTimeAndVariant) {
  ScratchDir dir;
  makeTree(dir / "root");
  chmod((dir / "root/opt/tool/etc/tool.conf").c_str(), 02640);
  writeFile(dir / "root/opt/we\nird", "1");
  writeFile(dir / "script", "echo hi\n");
  // A time past 2038, which a 32-bit time_t cannot carry.
  ASSERT_EQ(buildPackage(dir / "t.tpk", "t",
                         {"--owner", "root:7", "--mtime", "4107542400", "--variant",
                          "/opt/tool/bin/tool=3", "--onuninstall", dir / "script", dir / "root"}),
            0);
  const std::vector<Part> parts = splitParts(readFile(dir / "t.tpk"));
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].type, 1);
  EXPECT_EQ(parts[0].payload.size(), 32u) << "no flag word unless a flag is asked for";
  EXPECT_EQ(parts[1].type, 8);
  EXPECT_EQ(parts[1].payload, "echo hi\n");
  EXPECT_EQ(parts[2].type, 4);
  EXPECT_EQ(runTpk({"contents", dir / "t.tpk"}).output,
            "drwxr-xr-x     0/7              - 2100-03-01 00:00:00 opt\n"
            "drwxr-xr-x     0/7              - 2100-03-01 00:00:00 opt/tool\n"
            "drwxr-xr-x     0/7              - 2100-03-01 00:00:00 opt/tool/bin\n"
            "lrwxrwxrwx     0/7              4                   - opt/tool/bin/t -> tool\n"
            "-rwsr-xr-x     0/7             20 2100-03-01 00:00:00 opt/tool/bin/tool [variant 3]\n"
            "prw--w----     0/7              - 2100-03-01 00:00:00 opt/tool/ctl\n"
            "drwxr-xr-x     0/7              - 2100-03-01 00:00:00 opt/tool/etc\n"
            "-rw-r-S---     0/7              8 2100-03-01 00:00:00 opt/tool/etc/tool.conf\n"
            "crw-rw-rw-     0/7         0x0103 2100-03-01 00:00:00 opt/tool/null0\n"
            "-rw-r--r--     0/7              1 2100-03-01 00:00:00 opt/we\\x0aird\n");
}

TEST(TpkBuild, SameInputsGiveIdenticalBytes) {
  ScratchDir dir;
  makeTree(dir / "root");
  const auto build = [&](const std::string& out) {
    return runTpk({"build", "-o", out, "--name", "d", "--version", "2.0rc1", "--owner", "0:0",
                   "--mtime", "100", "--alternate-magic", dir / "root"},
                  {{"SOURCE_DATE_EPOCH", "777"}})
        .status;
  };
  ASSERT_EQ(build(dir / "a.tpk"), 0);
  // Touching the files changes nothing once times are normalised.
  writeFile(dir / "root/opt/tool/etc/tool.conf", "level=3\n");
  ASSERT_EQ(build(dir / "b.tpk"), 0);
  const std::string a = readFile(dir / "a.tpk");
  EXPECT_EQ(a, readFile(dir / "b.tpk"));
  EXPECT_EQ(le32(a, 0), 0xA1100FFBu);
  EXPECT_EQ(le32(a, 4), a.size() - 8);
  EXPECT_EQ(le32(splitParts(a)[0].payload, 20), 777u) << "build time from SOURCE_DATE_EPOCH";
}

TEST(TpkBuild, BadInputIsRefusedWithoutLeavingAFile) {
  ScratchDir dir;
  makeDirs(dir / "root/opt");
  const std::string root = dir / "root";
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"--name", "x", "--version", "6.41x", root}, 2},
      {{"--name", "seventeen-bytes-x", "--version", "1.0", root}, 2},
      {{"--name", "..", "--version", "1.0", root}, 2},
      {{"--name", ".x", "--version", "1.0", root}, 2},
      {{"--version", "1.0", root}, 2},
      {{"--name", "x", "--version", "1.0", "--depends", "a>=1.0,<=0.9", root}, 2},
      // What the installer's reader would refuse or cut.
      {{"--name", "a b", "--version", "1.0", root}, 2},
      {{"--name", "x", "--version", "1.0", "--conflicts", "a\tb", root}, 2},
      {{"--name", "x", "--version", "1.0", "--note", std::string(65537, 'n'), root}, 2},
      {{"--name", "x", "--version", "1.0", "--variant", "nothing/here=2", root}, 1},
      {{"--name", "x", "--version", "1.0", "--variant", "opt=256", root}, 2},
      {{"--name", "x", "--version", "1.0", "--bogus", root}, 2},
      {{"--name", "x", "--version", "1.0", dir / "missing"}, 1},
      {{"--name", "x", "--version", "1.0", "--oninstall", dir / "missing", root}, 1},
      {{"--name", "x", "--version", "1.0"}, 2},
      {{"--name", "x", "--version", "1.0", root}, 1},  // the output directory does not exist
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"build", "-o", dir / "out/x.tpk"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto r = runTpk(args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args[1] << ": " << r.errors;
    EXPECT_EQ(r.errors.rfind("tpk: ", 0), 0u) << r.errors;
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
  }
  EXPECT_EQ(directoryNames(dir.path()), (std::vector<std::string>{"root"})) << "no temporary left";
}

TEST(TpkBundle, MembersAreCopiedUnchangedAfterTheBundleHeader) {
  ScratchDir dir;
  makeDirs(dir / "a/opt");
  writeFile(dir / "a/opt/a", "aaa\n");
  ASSERT_EQ(buildPackage(dir / "a.tpk", "m-a", {dir / "a"}), 0);
  ASSERT_EQ(buildPackage(dir / "b.tpk", "m-b", {"--no-files"}), 0);
  const auto bundle = [&](const std::string& out, std::vector<std::string> more) {
    std::vector<std::string> args{"bundle", "-o", out, "--name", "bnd", "--version", "3.0rc1",
                                  "--build-time", "3"};
    args.insert(args.end(), more.begin(), more.end());
    return runTpk(args).status;
  };
  ASSERT_EQ(bundle(dir / "bundle.tpk",
                   {"--note", "bundle note", "--disabled", "m-b", dir / "a.tpk", dir / "b.tpk"}),
            0);
  const std::string file = readFile(dir / "bundle.tpk");
  const std::string a = readFile(dir / "a.tpk"), b = readFile(dir / "b.tpk");
  EXPECT_EQ(file.substr(file.size() - (a.size() - 8) - (b.size() - 8)), a.substr(8) + b.substr(8));

  PackageFile loaded;
  ASSERT_TRUE(loadPackageFile(loaded, dir / "bundle.tpk"));
  EXPECT_TRUE(loaded.isBundle);
  EXPECT_EQ(loaded.name, "bnd");
  EXPECT_EQ(loaded.note, "bundle note");
  ASSERT_EQ(loaded.members.size(), 2u);
  EXPECT_EQ(loaded.members[0]->name, "m-a");
  EXPECT_EQ(loaded.members[1]->name, "m-b");
  const std::vector<Part> parts = splitParts(file);
  ASSERT_GE(parts.size(), 3u);
  EXPECT_EQ(parts[0].type, 18);
  EXPECT_EQ(parts[1].type, 23);
  ASSERT_EQ(parts[2].type, 20);
  EXPECT_EQ(parts[2].payload.size(), 34u);
  EXPECT_EQ(parts[2].payload.substr(2, 4), std::string("m-b\0", 4));

  // Refused: a bundle as a member, an unknown default-disabled name, a file
  // that is not a package, two members of one name, members made elsewhere
  // whose name or note the installer's reader would refuse or cut.
  writeFile(dir / "junk", "not a package at all");
  pkgwriter::PackageLayout dotted, noted;
  dotted.name = ".m";
  noted.name = "m-n";
  noted.note = std::string(65537, 'n');
  writeFile(dir / "dotted.tpk", pkgwriter::buildPackageFile(dotted));
  writeFile(dir / "noted.tpk", pkgwriter::buildPackageFile(noted));
  EXPECT_EQ(bundle(dir / "x.tpk", {dir / "bundle.tpk"}), 1);
  EXPECT_EQ(bundle(dir / "x.tpk", {"--disabled", "m-c", dir / "a.tpk"}), 2);
  EXPECT_EQ(bundle(dir / "x.tpk", {dir / "junk"}), 1);
  EXPECT_EQ(bundle(dir / "x.tpk", {dir / "a.tpk", dir / "a.tpk"}), 1);
  EXPECT_EQ(bundle(dir / "x.tpk", {dir / "a.tpk", dir / "dotted.tpk"}), 2);
  EXPECT_EQ(bundle(dir / "x.tpk", {dir / "noted.tpk"}), 2);
  EXPECT_FALSE(testing_support::exists(dir / "x.tpk"));
}

TEST(TpkDigest, PrintsTheWindowDigestOfEveryPackage) {
  const std::string bundle = samplePath("sample-bundle.tpk"), plain = samplePath("sample-plain.tpk");
  const auto r = runTpk({"digest", bundle, plain});
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(r.output, "5d9d6b1b5d459633e12c2af06b77cbafcb19cea9  " + bundle + "\n" +
                          "f8a35c0ed59b3c46a1beff88696bc59eaad30dea  " + bundle + "\n" +
                          "fafe3069b24e46612888ee0d280d8d477af07da8  " + plain + "\n");
  EXPECT_EQ(runTpk({"digest"}).status, 2);
  EXPECT_EQ(runTpk({"digest", "/nonexistent"}).status, 1);

  // A cut file or one with a foreign magic gets no digest, only an error.
  ScratchDir dir;
  const std::string whole = readFile(plain);
  writeFile(dir / "cut.tpk", whole.substr(0, 100));
  writeFile(dir / "magic.tpk", "xxxx" + whole.substr(4));
  for (const char* name : {"cut.tpk", "magic.tpk"}) {
    const auto bad = runTpk({"digest", dir / name});
    EXPECT_EQ(bad.status, 1) << name;
    EXPECT_EQ(bad.output, "") << name;
    EXPECT_NE(bad.errors.find("malformed file"), std::string::npos) << bad.errors;
  }
}
