// Header parts read into package records, and the package file loader, on
// hand-made packages (the loader and tpk tests read the independent samples).
#include <gtest/gtest.h>

#include "pkgfile/header_parts.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/package_builder.h"
#include "record_text.h"
#include "support/scratch_dir.h"

namespace {

using pkgwriter::encodeHeaderPayload;
using pkgwriter::encodeListPayload;
using pkgwriter::encodePart;
using namespace testing_support;

std::string headerPart(const std::string& name, bool withFlags = false, std::uint32_t flags = 0) {
  return encodePart(partPackage, encodeHeaderPayload(name, 0x01020304, 1000, withFlags, flags));
}

struct Parse {
  explicit Parse(const std::string& body, const std::string& recordName = {})
      : input(pkgwriter::wrapFile(body)), stream(input, true), package(recordName) {
    stream.wanted = {partBundle, partPackage,      partText24,   partArchitecture, partText2,
                     partNote,   partDependencies, partProvides, partConflicts,    partImage};
    stream.next();
    ok = readHeaderParts(package, stream) == ReadResult::Read;
  }
  std::istringstream input;
  PartStream stream;
  Package package;
  bool ok = false;
};

// Each file of tests/data/pkgfile/headers.txt (made as the README in
// pkgfile/header says) read into a record first named "entry": whether it
// reads, the part and offset it leaves the stream at, and the record (control
// bytes as \\xNN). Refused: names that would leave their directory, that the
// loader would pass over (a leading "."), or that the database's
// blank-separated text cannot hold or the listing would send raw to the
// terminal; they are never stored, so no path is built from them.
TEST(HeaderParts, NamesListsAndPartOrder) {
  for (const std::string& line : dataLines("pkgfile/headers.txt")) {
    const std::vector<std::string> w = wordsOf(line);
    Parse parse(dataFile("pkgfile/header/" + w[0] + ".tpk").substr(8), "entry");
    std::string seen = std::string(parse.ok ? "ok " : "refused ") +
                       std::to_string(parse.stream.currentType()) + " " +
                       std::to_string(std::streamoff(parse.stream.tellg())) + " ";
    for (const char c : headerText(parse.package))
      seen += c >= ' ' && c != '\x7f' ? std::string(1, c) : "\\x" + toHex(&c, 1);
    EXPECT_EQ(seen, line.substr(w[0].size() + 1));
  }
  // A text part longer than the reader keeps is cut there.
  Parse longNote(headerPart("p") + encodePart(partNote, std::string(maxTextPartLength + 1, 'n')));
  EXPECT_EQ(longNote.package.note, std::string(maxTextPartLength, 'n'));
}

TEST(PackageFileLoader, SizeMagicAndBundles) {
  ScratchDir dir;
  pkgwriter::BundleLayout named;  // a bad member name fails the whole bundle
  named.name = "bundle";
  named.members = {headerPart("good"), headerPart("..")};
  writeFile(dir / "b.tpk", pkgwriter::buildBundleFile(named));
  PackageFile badMember;
  EXPECT_EQ(loadPackageFile(badMember, dir / "b.tpk"), ReadResult::NotRead);

  const std::string body = headerPart("p") + encodePart(partNote, "n");
  writeFile(dir / "long.tpk", pkgwriter::wrapFile(body) + "x");  // one byte over
  PackageFile longer;
  EXPECT_EQ(loadPackageFile(longer, dir / "long.tpk"), ReadResult::NotRead);
  EXPECT_EQ(longer.length, body.size() + 8);

  writeFile(dir / "alt.tpk", pkgwriter::wrapFile(body, pkgwriter::alternateMagic));
  PackageFile alternate, missing;
  EXPECT_EQ(loadPackageFile(alternate, dir / "alt.tpk"), ReadResult::Read);
  EXPECT_TRUE(alternate.alternateMagic);
  EXPECT_EQ(loadPackageFile(missing, dir / "none.tpk"), ReadResult::NotRead);

  pkgwriter::BundleLayout hollow;  // a bundle header and an image part, no members
  hollow.name = "b", hollow.image = "";
  writeFile(dir / "hollow.tpk", pkgwriter::buildBundleFile(hollow));
  PackageFile hollowFile;
  EXPECT_EQ(loadPackageFile(hollowFile, dir / "hollow.tpk"), ReadResult::NotRead);
  EXPECT_TRUE(hollowFile.isBundle);

  // A member's flag word is read wherever it falls against the file reader's
  // buffer boundaries.
  for (std::size_t pad = 8060; pad < 8200; ++pad) {
    pkgwriter::BundleLayout bundle;
    bundle.name = "bundle", bundle.note = std::string(pad, 'x');
    bundle.members = {headerPart("member", true, 1) + encodePart(partFileTree, "t")};
    writeFile(dir / "b.tpk", pkgwriter::buildBundleFile(bundle));
    PackageFile file;
    ASSERT_EQ(loadPackageFile(file, dir / "b.tpk"), ReadResult::Read);
    ASSERT_EQ(file.members.size(), 1u);
    EXPECT_EQ(file.members[0]->flags, 1u) << "note of " << pad << " bytes";
  }
}

}  // namespace
