// tpk against packages made by the writer, which tpk itself would not make;
// the other tpk runs are replayed from the transcripts under tests/data/tpk.
#include <gtest/gtest.h>

#include "pkgwriter/pkgwriter.h"
#include "support/scratch_dir.h"
#include "tpk_helpers.h"

using namespace tpk_test;
using testing_support::readFile;
using testing_support::ScratchDir;
using testing_support::writeFile;

// Members whose name or note the installer's reader would refuse or cut are
// refused.
TEST(TpkBundle, RefusesMembersTheInstallerWouldNotRead) {
  ScratchDir dir;
  pkgwriter::PackageLayout dotted, noted;
  dotted.name = ".m";
  noted.name = "m-n";
  noted.note = std::string(65537, 'n');
  writeFile(dir / "dotted.tpk", pkgwriter::buildPackageFile(dotted));
  writeFile(dir / "noted.tpk", pkgwriter::buildPackageFile(noted));
  for (const char* member : {"dotted.tpk", "noted.tpk"})
    EXPECT_EQ(
        runTpk({"bundle", "-o", dir / "x.tpk", "--name", "bnd", "--version", "1.0", dir / member})
            .status,
        2)
        << member;
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
