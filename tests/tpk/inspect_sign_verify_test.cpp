// tpk info, contents, verify, sign and keygen against the independent sample
// packages and against packages tpk made itself.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "pkgwriter/pkgwriter.h"
#include "support/scratch_dir.h"
#include "tpk_helpers.h"

using namespace tpk_test;
using testing_support::makeDirs;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

namespace {

const std::string devSecret = std::string(TEST_DATA_DIR) + "/dev-signer.secret";

}  // namespace

TEST(TpkVerify, AcceptsTheSamplesAndRejectsTheTamperedOne) {
  const std::vector<std::string> good = {"sample-plain.tpk", "sample-relations.tpk",
                                         "sample-bundle.tpk", "sample-image.tpk"};
  std::vector<std::string> args = {"verify"};
  std::string expected;
  for (const std::string& name : good) {
    args.push_back(samplePath(name));
    expected += samplePath(name) + ": ok\n";
  }
  auto r = runTpk(args);
  EXPECT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(r.output, expected);

  // The installer also refuses a bundle with a part of its own after its last
  // member, every member being accepted.
  ScratchDir dir;
  const std::string bundle = readFile(samplePath("sample-bundle.tpk")).substr(8);
  writeFile(dir / "trailing.tpk", pkgwriter::wrapFile(bundle + pkgwriter::encodePart(21, "")));
  args.push_back(dir / "trailing.tpk");
  args.push_back(samplePath("sample-plain-tampered.tpk"));
  r = runTpk(args);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, expected + dir / "trailing.tpk" + ": smp-bundle: malformed file\n" +
                          samplePath("sample-plain-tampered.tpk") +
                          ": smp-plain: digest mismatch\n");

  EXPECT_EQ(runTpk({"verify"}).status, 2);
  EXPECT_EQ(runTpk({"verify", "--pubkey", "/nonexistent", samplePath("sample-plain.tpk")}).status,
            2);
}

// A public key must be one the installer's trust configuration could hold:
// the verifier reads all 256 bits, so bit 255 set or a value of p or above
// would stand for another key.
TEST(TpkVerify, RefusesPublicKeysTheInstallerCannotHold) {
  ScratchDir dir;
  const std::string devPublic =
      readFile(std::string(TEST_DATA_DIR) + "/../../config/dev-signer.public").substr(0, 64);
  std::string highBit = devPublic;
  highBit[62] = 'a';  // last byte 0x2d -> 0xad
  const std::string prime = "ed" + std::string(60, 'f') + "7f";
  const std::string belowPrime = "ec" + std::string(60, 'f') + "7f";
  for (const std::string& key : {highBit, prime, std::string(64, '0'), belowPrime, devPublic}) {
    writeFile(dir / "key.public", key + "\n");
    const auto r = runTpk({"verify", "--pubkey", dir / "key.public", samplePath("sample-plain.tpk")});
    const int expected = key == devPublic ? 0 : key == belowPrime ? 1 : 2;
    EXPECT_EQ(r.status, expected) << key << "\n" << r.output << r.errors;
  }
}

TEST(TpkSignVerify, ReasonsSigningInPlaceBundlesAndFailures) {
  ScratchDir dir;
  makeDirs(dir / "root");
  writeFile(dir / "root/f", "x");
  ASSERT_EQ(buildPackage(dir / "a.tpk", "a", {dir / "root"}), 0);
  ASSERT_EQ(buildPackage(dir / "b.tpk", "b", {"--no-files", "--key", devSecret}), 0);
  ASSERT_EQ(buildPackage(dir / "u.tpk", "u", {"--no-files"}), 0);
  auto r = runTpk({"verify", dir / "a.tpk"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, dir / "a.tpk" + ": a: no signature and unknown digest\n");

  // Signed with another key: the digest matches but the signature does not.
  ASSERT_EQ(runTpk({"keygen", "-o", dir / "other"}).status, 0);
  ASSERT_EQ(runTpk({"sign", "--key", dir / "other.secret", dir / "a.tpk"}).status, 0);
  EXPECT_EQ(runTpk({"verify", dir / "a.tpk"}).output, dir / "a.tpk" + ": a: bad signature\n");
  EXPECT_EQ(runTpk({"verify", "--pubkey", dir / "other.public", dir / "a.tpk"}).status, 0);

  // Signing in place keeps the file's mode and replaces the trailer.
  chmod((dir / "a.tpk").c_str(), 0640);
  ASSERT_EQ(runTpk({"sign", "--key", devSecret, dir / "a.tpk"}).status, 0);
  struct stat st {};
  ASSERT_EQ(stat((dir / "a.tpk").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  const std::string once = readFile(dir / "a.tpk");
  ASSERT_EQ(runTpk({"sign", "--key", devSecret, dir / "a.tpk"}).status, 0);
  EXPECT_EQ(readFile(dir / "a.tpk"), once) << "replacing a trailer, not adding one";

  // A bundle names its first failing member; signing it signs every member.
  ASSERT_EQ(runTpk({"bundle", "-o", dir / "bnd.tpk", "--name", "bnd", "--version", "1.0",
                    dir / "b.tpk", dir / "u.tpk"}).status, 0);
  EXPECT_EQ(runTpk({"verify", dir / "bnd.tpk"}).output,
            dir / "bnd.tpk" + ": u: no signature and unknown digest\n");
  ASSERT_EQ(runTpk({"sign", "-k", devSecret, dir / "bnd.tpk"}).status, 0);
  EXPECT_EQ(runTpk({"verify", dir / "a.tpk", dir / "b.tpk", dir / "bnd.tpk"}).status, 0);

  // Re-signing a sample with the key it was made with reproduces it.
  writeFile(dir / "s.tpk", readFile(samplePath("sample-bundle.tpk")));
  ASSERT_EQ(runTpk({"sign", "-k", devSecret, dir / "s.tpk"}).status, 0);
  EXPECT_EQ(readFile(dir / "s.tpk"), readFile(samplePath("sample-bundle.tpk")));

  // Failures leave the file untouched: bad key, not a package; a cut file is malformed.
  writeFile(dir / "junk", "junk");
  EXPECT_EQ(runTpk({"sign", "-k", dir / "junk", dir / "a.tpk"}).status, 2);
  EXPECT_EQ(runTpk({"sign", "-k", devSecret, dir / "junk"}).status, 1);
  EXPECT_EQ(readFile(dir / "junk"), "junk");
  EXPECT_EQ(readFile(dir / "a.tpk"), once);
  writeFile(dir / "cut.tpk", once.substr(0, once.size() - 1));
  r = runTpk({"verify", dir / "cut.tpk"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find(": malformed file\n"), std::string::npos) << r.output;
}

TEST(TpkKeygen, WritesAPrivateSecretAndKeepsExistingKeys) {
  ScratchDir dir;
  ASSERT_EQ(runTpk({"keygen", "-o", dir / "k"}).status, 0);
  const std::string secret = readFile(dir / "k.secret");
  EXPECT_EQ(readFile(dir / "k.public").size(), 65u);
  struct stat st {};
  ASSERT_EQ(stat((dir / "k.secret").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u) << "the secret is private";
  EXPECT_EQ(runTpk({"keygen", "-o", dir / "k"}).status, 1);
  EXPECT_EQ(readFile(dir / "k.secret"), secret);
  ASSERT_EQ(runTpk({"keygen", "-o", dir / "k", "--force"}).status, 0);
  EXPECT_NE(readFile(dir / "k.secret"), secret);

  // When one of the pair cannot be written, neither is replaced and no
  // temporary is left.
  makeDirs(dir / "d/k.public");
  writeFile(dir / "d/k.secret", secret);
  EXPECT_EQ(runTpk({"keygen", "-o", dir / "d/k", "--force"}).status, 1);
  EXPECT_EQ(readFile(dir / "d/k.secret"), secret);
  EXPECT_EQ(directoryNames(dir / "d").size(), 2u);
}

TEST(TpkInfo, ShowsTheContentTheSamplesDescribe) {
  auto r = runTpk({"info", samplePath("sample-relations.tpk")});
  ASSERT_EQ(r.status, 0) << r.errors;
  const std::string expected =
      "file: " + samplePath("sample-relations.tpk") +
      "\n"
      "magic: 0xbad0f11e\n"
      "length: 403\n"
      "parts: 1@8 (32), 16@46 (7), 23@59 (16), 3@81 (66), 19@153 (34), 17@193 (34), 8@233 (27), "
      "4@266 (57), 9@329 (68)\n"
      "\n"
      "package smp-rel 1.4beta2\n"
      "  version: 1.4beta2 (0x01046202)\n"
      "  build time: 1704070800 (2024-01-01 01:00:00 UTC)\n"
      "  flags: none (no flag word)\n"
      "  architecture: powerpc\n"
      "  note: relations sample\n"
      "  text24:\n"
      "  text2:\n"
      "  depends: smp-plain>=2.3\n"
      "  depends: system>=6.0,<=7.0\n"
      "  provides: smp-api>=1.0,<=1.9:-1\n"
      "  conflicts: smp-old<=1.0\n"
      "  image: no\n"
      "  scripts: onuninstall (27 bytes)\n"
      "  file tree: 1 entry\n"
      "  parts: 1@8 (32), 16@46 (7), 23@59 (16), 3@81 (66), 19@153 (34), 17@193 (34), 8@233 (27), "
      "4@266 (57), 9@329 (68)\n"
      "  digest: 0ba232e53e02bbda8a86774de9de4d43034de853\n"
      "  signature: trailer\n"
      "  verification: ok\n";
  EXPECT_EQ(r.output, expected);

  r = runTpk({"info", samplePath("sample-image.tpk"), samplePath("sample-bundle.tpk")});
  ASSERT_EQ(r.status, 0) << r.errors;
  for (const char* line : {"package smp-image 5.1\n", "  flags: 1 bootImage\n",
                           "  image: yes (300 bytes)\n", "bundle smp-bundle 3.0rc1\n",
                           "  default-disabled: smp-m2\n", "  scripts: oninstall (37 bytes)\n",
                           "  digest: f8a35c0ed59b3c46a1beff88696bc59eaad30dea\n"})
    EXPECT_NE(r.output.find(line), std::string::npos) << line << r.output;

  r = runTpk({"info", "/nonexistent.tpk"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, "");
}

TEST(TpkContents, ListsEveryEntryKind) {
  auto r = runTpk({"contents", samplePath("sample-plain.tpk")});
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(r.output,
            "drwxr-xr-x     0/0              - 2024-01-01 00:00:00 opt/sample\n"
            "drwxr-xr-x     0/0              - 2024-01-01 00:00:00 opt/sample/bin\n"
            "-rwxr-xr-x     0/0             22 2024-01-01 00:01:00 opt/sample/bin/tool\n"
            "lrwxrwxrwx     0/0              4                   - opt/sample/bin/t -> tool\n"
            "-rw-r-----     0/50             8 2024-01-01 00:02:00 opt/sample/etc/tool.conf\n"
            "crw-rw-rw-     0/0         0x0103 2024-01-01 00:03:00 opt/sample/dev/null0\n"
            "brw-rw----     0/6         0x0800 2024-01-01 00:04:00 opt/sample/dev/blk0\n"
            "prw--w----   100/100            - 2024-01-01 00:05:00 opt/sample/run/ctl\n");
  r = runTpk({"contents", samplePath("sample-bundle.tpk")});
  EXPECT_EQ(r.output,
            "member smp-m1 3.0rc1:\n"
            "-rw-r--r--     0/0             13 2024-01-01 02:00:01 opt/smp-m1/one\n"
            "member smp-m2 3.0rc1:\n"
            "-rw-r--r--     0/0             14 2024-01-01 02:00:02 opt/smp-m2/two\n");
}

TEST(TpkCommands, HelpAndUsageErrors) {
  for (const char* command :
       {"build", "bundle", "sign", "keygen", "digest", "info", "contents", "verify"}) {
    const auto r = runTpk({command, "--help"});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(r.output.rfind("usage: tpk ", 0), 0u) << command;
    EXPECT_EQ(runTpk({command, "--no-such-option"}).status, 2) << command;
  }
  EXPECT_EQ(runTpk({}).status, 2);
  EXPECT_EQ(runTpk({"frobnicate"}).status, 2);
  // A named pipe without a writer is refused at once, not waited on.
  ScratchDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe.tpk").c_str(), 0600), 0);
  for (const char* command : {"info", "contents", "verify", "digest"})
    EXPECT_EQ(runTpk({command, dir / "pipe.tpk"}).status, 1) << command;
  EXPECT_EQ(runTpk({"--help"}).status, 0);
}
