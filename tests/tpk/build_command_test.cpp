// tpk build and tpk bundle, run as a package maker runs them; the output is
// checked with an independent decoder and with the installer's own reader.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "model/package.h"
#include "model/version.h"
#include "pkgfile/header_parts.h"
#include "support/scratch_dir.h"
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

const std::vector<std::string> headerArgs = {
    "--name",       "tool",         "--version",  "6.42beta5",
    "--build-time", "1704067200",   "--arch",     "powerpc",
    "--note",       "a note",       "--text24",   "t24",
    "--text2",      "t2",           "--depends",  "system>=6.41,<=6.49",
    "--depends",    "lib",          "--provides", "tool-api=1.2:-3",
    "--conflicts",  "old-tool<=1.0"};

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST(TpkBuild, EveryHeaderFieldReadsBackThroughTheInstallersReader) {
  ScratchDir dir;
  makeTree(dir / "root");
  const auto r = runTpk(concat(concat({"build", "-o", dir / "tool.tpk"}, headerArgs),
                               {"--boot-image", "--owner", "0:0", dir / "root"}));
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_TRUE(r.output.empty());

  PackageFile file;
  ASSERT_TRUE(loadPackageFile(file, dir / "tool.tpk"));
  EXPECT_EQ(file.name, "tool");
  EXPECT_EQ(file.version, makeVersion(6, 42, 'b', 5));
  EXPECT_EQ(file.buildTime, 1704067200u);
  EXPECT_EQ(file.flags, 1u);
  EXPECT_EQ(file.architecture, "powerpc");
  EXPECT_EQ(file.note, "a note");
  EXPECT_EQ(file.text24, "t24");
  EXPECT_EQ(file.text2, "t2");
  EXPECT_FALSE(file.isBundle);
  EXPECT_FALSE(file.alternateMagic);
  ASSERT_EQ(file.deps.size(), 2u);
  EXPECT_EQ(file.deps[0].name, "system");
  EXPECT_EQ(file.deps[0].min, makeVersion(6, 41, 'f', 0));
  EXPECT_EQ(file.deps[0].max, makeVersion(6, 49, 'f', 0));
  EXPECT_EQ(file.deps[1].name, "lib");
  EXPECT_EQ(file.deps[1].min, 0u);
  ASSERT_EQ(file.provides.size(), 1u);
  EXPECT_EQ(file.provides[0].min, makeVersion(1, 2, 'f', 0));
  EXPECT_EQ(file.provides[0].max, makeVersion(1, 2, 'f', 0));
  EXPECT_EQ(file.provides[0].extra, -3);
  ASSERT_EQ(file.conflicts.size(), 1u);
  EXPECT_EQ(file.conflicts[0].name, "old-tool");
  EXPECT_EQ(file.conflicts[0].max, makeVersion(1, 0, 'f', 0));
}

TEST(TpkBuild, TreeEntriesAreSortedAndCarryTypeModeOwnerTimeAndVariant) {
  ScratchDir dir;
  makeTree(dir / "root");
  writeFile(dir / "script", "echo hi\n");
  const auto r =
      runTpk({"build", "-o", dir / "t.tpk", "--name", "t", "--version", "1.0", "--build-time", "5",
              "--owner", "root:7", "--mtime", "1234567", "--variant", "/opt/tool/bin/tool=3",
              "--onuninstall", dir / "script", dir / "root"});
  ASSERT_EQ(r.status, 0) << r.errors;
  const std::vector<Part> parts = splitParts(readFile(dir / "t.tpk"));
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].type, 1);
  EXPECT_EQ(parts[0].payload.size(), 32u) << "no flag word unless a flag is asked for";
  EXPECT_EQ(parts[1].type, 8);
  EXPECT_EQ(parts[1].payload, "echo hi\n");
  ASSERT_EQ(parts[2].type, 4);
  const std::vector<TreeEntry> tree = decodeTree(parts[2].payload);
  std::vector<std::string> names;
  for (const TreeEntry& e : tree) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"opt", "opt/tool", "opt/tool/bin", "opt/tool/bin/t",
                                             "opt/tool/bin/tool", "opt/tool/ctl", "opt/tool/etc",
                                             "opt/tool/etc/tool.conf", "opt/tool/null0"}));
  for (const TreeEntry& e : tree) {
    EXPECT_EQ(e.uid, 0) << e.name;
    EXPECT_EQ(e.gid, 7) << e.name;
    EXPECT_EQ(e.variant, e.name == "opt/tool/bin/tool" ? 3 : 0) << e.name;
    if (e.name == "opt/tool/bin/t") {
      EXPECT_EQ(e.mode, 0120777);
      EXPECT_EQ(e.data, "tool");
      EXPECT_EQ(e.time, 0u) << "links carry no time";
    } else {
      EXPECT_EQ(e.time, 1234567u) << e.name;
    }
  }
  EXPECT_EQ(tree[0].mode & 0170000, 040000);
  EXPECT_EQ(tree[4].mode, 0104755);
  EXPECT_EQ(tree[4].data, "#!/bin/sh\necho tool\n");
  EXPECT_EQ(tree[5].mode, 010620);
  EXPECT_EQ(tree[7].mode, 0100640);
  EXPECT_EQ(tree[8].mode, 020666);
  EXPECT_EQ(tree[8].data, std::string("\x03\x01\x00\x00", 4));
}

TEST(TpkBuild, SameInputsGiveIdenticalBytes) {
  ScratchDir dir;
  makeTree(dir / "root");
  const std::vector<std::string> args = {
      "--name",  "d",   "--version",         "2.0rc1",    "--owner", "0:0",
      "--mtime", "100", "--alternate-magic", dir / "root"};
  ASSERT_EQ(
      runTpk(concat({"build", "-o", dir / "a.tpk"}, args), {{"SOURCE_DATE_EPOCH", "777"}}).status,
      0);
  // Touching the files changes nothing once times are normalised.
  writeFile(dir / "root/opt/tool/etc/tool.conf", "level=3\n");
  ASSERT_EQ(
      runTpk(concat({"build", "-o", dir / "b.tpk"}, args), {{"SOURCE_DATE_EPOCH", "777"}}).status,
      0);
  const std::string a = readFile(dir / "a.tpk");
  EXPECT_EQ(a, readFile(dir / "b.tpk"));
  EXPECT_EQ(le32(a, 0), 0xA1100FFBu);
  EXPECT_EQ(le32(a, 4), a.size() - 8);
  EXPECT_EQ(le32(splitParts(a)[0].payload, 20), 777u) << "build time from SOURCE_DATE_EPOCH";
}

TEST(TpkBuild, BadInputIsRefusedWithoutLeavingAFile) {
  ScratchDir dir;
  makeTree(dir / "root");
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"--name", "x", "--version", "6.41x", dir / "root"}, 2},
      {{"--name", "seventeen-bytes-x", "--version", "1.0", dir / "root"}, 2},
      {{"--name", "..", "--version", "1.0", dir / "root"}, 2},
      {{"--version", "1.0", dir / "root"}, 2},
      {{"--name", "x", "--version", "1.0", "--depends", "a>=1.0,<=0.9", dir / "root"}, 2},
      {{"--name", "x", "--version", "1.0", "--variant", "nothing/here=2", dir / "root"}, 1},
      {{"--name", "x", "--version", "1.0", "--variant", "opt=256", dir / "root"}, 2},
      {{"--name", "x", "--version", "1.0", "--bogus", dir / "root"}, 2},
      {{"--name", "x", "--version", "1.0", dir / "missing"}, 1},
      {{"--name", "x", "--version", "1.0", "--oninstall", dir / "missing", dir / "root"}, 1},
      {{"--name", "x", "--version", "1.0"}, 2},
  };
  for (const auto& c : cases) {
    const auto r = runTpk(concat({"build", "-o", dir / "out/x.tpk"}, c.args));
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args[1] << ": " << r.errors;
    EXPECT_EQ(r.errors.rfind("tpk: ", 0), 0u) << r.errors;
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
  }
  // The output directory does not exist: a failure, and no temporary file anywhere.
  EXPECT_EQ(
      runTpk({"build", "-o", dir / "out/x.tpk", "--name", "x", "--version", "1.0", dir / "root"})
          .status,
      1);
  EXPECT_EQ(directoryNames(dir.path()), (std::vector<std::string>{"root"}));
}

TEST(TpkBundle, MembersAreCopiedUnchangedAfterTheBundleHeader) {
  ScratchDir dir;
  makeDirs(dir / "a/opt");
  writeFile(dir / "a/opt/a", "aaa\n");
  ASSERT_EQ(runTpk({"build", "-o", dir / "a.tpk", "--name", "m-a", "--version", "3.0rc1",
                    "--build-time", "1", dir / "a"})
                .status,
            0);
  ASSERT_EQ(runTpk({"build", "-o", dir / "b.tpk", "--name", "m-b", "--version", "3.0rc1",
                    "--build-time", "2", "--no-files"})
                .status,
            0);
  const auto r = runTpk({"bundle", "-o", dir / "bundle.tpk", "--name", "bnd", "--version", "3.0rc1",
                         "--build-time", "3", "--note", "bundle note", "--disabled", "m-b",
                         dir / "a.tpk", dir / "b.tpk"});
  ASSERT_EQ(r.status, 0) << r.errors;
  const std::string bundle = readFile(dir / "bundle.tpk");
  const std::string a = readFile(dir / "a.tpk"), b = readFile(dir / "b.tpk");
  EXPECT_EQ(bundle.substr(bundle.size() - (a.size() - 8) - (b.size() - 8)),
            a.substr(8) + b.substr(8));

  PackageFile file;
  ASSERT_TRUE(loadPackageFile(file, dir / "bundle.tpk"));
  EXPECT_TRUE(file.isBundle);
  EXPECT_EQ(file.name, "bnd");
  EXPECT_EQ(file.note, "bundle note");
  ASSERT_EQ(file.members.size(), 2u);
  EXPECT_EQ(file.members[0]->name, "m-a");
  EXPECT_EQ(file.members[1]->name, "m-b");
  const std::vector<Part> parts = splitParts(bundle);
  ASSERT_GE(parts.size(), 3u);
  EXPECT_EQ(parts[0].type, 18);
  EXPECT_EQ(parts[1].type, 23);
  ASSERT_EQ(parts[2].type, 20);
  EXPECT_EQ(parts[2].payload.size(), 34u);
  EXPECT_EQ(parts[2].payload.substr(2, 4), std::string("m-b\0", 4));

  // Refused: a bundle as a member, an unknown default-disabled name, a
  // file that is not a package, two members of one name.
  EXPECT_EQ(
      runTpk({"bundle", "-o", dir / "x.tpk", "--name", "x", "--version", "1.0", dir / "bundle.tpk"})
          .status,
      1);
  EXPECT_EQ(runTpk({"bundle", "-o", dir / "x.tpk", "--name", "x", "--version", "1.0", "--disabled",
                    "m-c", dir / "a.tpk"})
                .status,
            2);
  writeFile(dir / "junk", "not a package at all");
  EXPECT_EQ(runTpk({"bundle", "-o", dir / "x.tpk", "--name", "x", "--version", "1.0", dir / "junk"})
                .status,
            1);
  EXPECT_EQ(runTpk({"bundle", "-o", dir / "x.tpk", "--name", "x", "--version", "1.0", dir / "a.tpk",
                    dir / "a.tpk"})
                .status,
            1);
  EXPECT_FALSE(testing_support::exists(dir / "x.tpk"));
}

TEST(TpkDigest, PrintsTheWindowDigestOfEveryPackage) {
  const auto r =
      runTpk({"digest", samplePath("sample-bundle.tpk"), samplePath("sample-plain.tpk")});
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(r.output,
            "5d9d6b1b5d459633e12c2af06b77cbafcb19cea9  " + samplePath("sample-bundle.tpk") + "\n" +
                "f8a35c0ed59b3c46a1beff88696bc59eaad30dea  " + samplePath("sample-bundle.tpk") +
                "\n" + "fafe3069b24e46612888ee0d280d8d477af07da8  " +
                samplePath("sample-plain.tpk") + "\n");
  EXPECT_EQ(runTpk({"digest", "/nonexistent"}).status, 1);

  // A cut file or one with a foreign magic gets no digest, only an error.
  ScratchDir dir;
  const std::string whole = readFile(samplePath("sample-plain.tpk"));
  writeFile(dir / "cut.tpk", whole.substr(0, 100));
  writeFile(dir / "magic.tpk", "xxxx" + whole.substr(4));
  for (const char* name : {"cut.tpk", "magic.tpk"}) {
    const auto bad = runTpk({"digest", dir / name});
    EXPECT_EQ(bad.status, 1) << name;
    EXPECT_EQ(bad.output, "") << name;
    EXPECT_NE(bad.errors.find("malformed file"), std::string::npos) << bad.errors;
  }
  EXPECT_EQ(runTpk({"digest"}).status, 2);
}
