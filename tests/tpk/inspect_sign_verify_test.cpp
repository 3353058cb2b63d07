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
  const std::string plain = samplePath("sample-plain.tpk");
  const std::string bundle = samplePath("sample-bundle.tpk");
  const std::string tampered = samplePath("sample-plain-tampered.tpk");
  EXPECT_EQ(runTpk({"verify", plain, bundle}).status, 0);
  // The installer also refuses a bundle with a part of its own after its last
  // member, every member being accepted.
  ScratchDir dir;
  const std::string trailing = dir / "trailing.tpk";
  writeFile(trailing, pkgwriter::wrapFile(readFile(bundle).substr(8) + pkgwriter::encodePart(21, "")));
  const auto r = runTpk({"verify", plain, tampered, trailing, bundle});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output, plain + ": ok\n" + tampered + ": smp-plain: digest mismatch\n" + trailing +
                          ": smp-bundle: malformed file\n" + bundle + ": ok\n");
  EXPECT_EQ(runTpk({"verify"}).status, 2);
  EXPECT_EQ(runTpk({"verify", "--pubkey", "/nonexistent", plain}).status, 2);
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
  EXPECT_EQ(r.output, "file: " + samplePath("sample-relations.tpk") + "\n" +
                          readFile(std::string(TEST_DATA_DIR) + "/tpk/info-relations.txt"));

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

// The listing of every entry kind and of a bundle's members.
TEST(TpkContents, ListsEveryEntryKind) {
  for (const char* name : {"sample-plain", "sample-bundle"}) {
    const auto r = runTpk({"contents", samplePath(std::string(name) + ".tpk")});
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.output, readFile(std::string(TEST_DATA_DIR) + "/tpk/contents-" + name + ".txt"));
  }
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
