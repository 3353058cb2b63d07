// tpk build and tpk bundle, run as a package maker runs them; the output is
// checked with an independent decoder and with the installer's own reader.
// Refusals and the other commands are replayed from transcripts.
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
  ASSERT_EQ(mknod((root + "/opt/tool/null0").c_str(), S_IFCHR | 0666, makedev(1, 0x1203)), 0);
  chmod((root + "/opt/tool/null0").c_str(), 0666);
  chmod((root + "/opt/tool/ctl").c_str(), 0620);
}

}  // namespace

TEST(TpkBuild, EveryHeaderFieldReadsBackThroughTheInstallersReader) {
  ScratchDir dir;
  makeTree(dir / "root");
  // clang-format off
  const auto r = runTpk({"build", "-o", dir / "tool.tpk", "--name", "tool", "--version", "6.42beta5",
      "--build-time", "1704067200", "--arch", "powerpc", "--note", "a note", "--text24", "t24",
      "--text2", "t2", "--depends", "system>=6.41,<=6.49", "--depends", "lib", "--provides",
      "tool-api=1.2:-3", "--conflicts", "old-tool<=1.0", "--boot-image", "--owner", "0:0", dir / "root"});
  // clang-format on
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
    for (const Dependency& d : list)
      out.push_back(tpk::relationText(d.name, d.min, d.max, d.extra));
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
            readFile(std::string(TEST_DATA_DIR) + "/tpk/contents-built-tree.txt"));
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

TEST(TpkBundle, MembersAreCopiedUnchangedAfterTheBundleHeader) {
  ScratchDir dir;
  makeDirs(dir / "a/opt");
  writeFile(dir / "a/opt/a", "aaa\n");
  ASSERT_EQ(buildPackage(dir / "a.tpk", "m-a", {dir / "a"}), 0);
  ASSERT_EQ(buildPackage(dir / "b.tpk", "m-b", {"--no-files"}), 0);
  const auto bundle = [&](const std::string& out, std::vector<std::string> more) {
    std::vector<std::string> args{"bundle", "-o",           out, "--name", "bnd", "--version",
                                  "3.0rc1", "--build-time", "3"};
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

  // Members made elsewhere whose name or note the installer's reader would
  // refuse or cut are refused (the other refusals are in a transcript).
  pkgwriter::PackageLayout dotted, noted;
  dotted.name = ".m";
  noted.name = "m-n";
  noted.note = std::string(65537, 'n');
  writeFile(dir / "dotted.tpk", pkgwriter::buildPackageFile(dotted));
  writeFile(dir / "noted.tpk", pkgwriter::buildPackageFile(noted));
  EXPECT_EQ(bundle(dir / "x.tpk", {dir / "a.tpk", dir / "dotted.tpk"}), 2);
  EXPECT_EQ(bundle(dir / "x.tpk", {dir / "noted.tpk"}), 2);
  EXPECT_FALSE(testing_support::exists(dir / "x.tpk"));
}

// The installer refuses a bundle with a part of its own after its last
// member, every member being accepted; so does tpk verify.
TEST(TpkVerify, RefusesAPartAfterTheLastMember) {
  ScratchDir dir;
  const std::string trailing = dir / "trailing.tpk";
  writeFile(trailing,
            pkgwriter::wrapFile(readFile(TEST_DATA_DIR "/packages/sample-bundle.tpk").substr(8) +
                                pkgwriter::encodePart(21, "")));
  const auto r = runTpk({"verify", trailing});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, trailing + ": smp-bundle: malformed file\n");
}
