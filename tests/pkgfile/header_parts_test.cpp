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
    ok = readHeaderParts(package, stream);
  }
  std::istringstream input;
  PartStream stream;
  Package package;
  bool ok = false;
};

// Names that would leave their directory, that the loader would pass over
// (a leading "."), or that the database's blank-separated text cannot hold or
// the listing would send raw to the terminal.
TEST(HeaderParts, RefusedNames) {
  for (const std::string name : {"", ".", "..", "a/b", "../../etc", "/", ".hidden", "a b", "a\tb",
                                 "a\nb", "tail\r", "x\x1b[2J", "x\x7f"}) {
    const Parse parse(headerPart(name) + encodePart(partNote, "n"), "entry");
    EXPECT_FALSE(parse.ok) << "'" << name << "'";
    EXPECT_EQ(parse.package.name, "entry");  // never stored, so no path is built from it
  }
  EXPECT_TRUE(Parse(headerPart("a..")).ok);
  for (const int listType : {partDependencies, partProvides, partConflicts}) {
    for (const std::string name : {"", "x y", "x\n", ".x", "\x01x"}) {
      Parse parse(headerPart("p") + encodePart(listType, encodeListPayload({{"ok"}, {name}})));
      EXPECT_FALSE(parse.ok) << listType << " '" << name << "'";
    }
    EXPECT_TRUE(Parse(headerPart("p") + encodePart(listType, encodeListPayload({{"x-y_z.1"}}))).ok);
  }
  ScratchDir dir;  // a bad member name fails the whole bundle
  pkgwriter::BundleLayout bundle;
  bundle.name = "bundle";
  bundle.members = {headerPart("good"), headerPart("..")};
  writeFile(dir / "b.tpk", pkgwriter::buildBundleFile(bundle));
  PackageFile file;
  EXPECT_FALSE(loadPackageFile(file, dir / "b.tpk"));
}

TEST(HeaderParts, PartOrderAndLists) {
  Parse all(headerPart("p") + encodePart(partText24, "t24") + encodePart(partArchitecture, "mips") +
            encodePart(partText2, std::string("t\0two", 5)) + encodePart(partNote, "n") +
            encodePart(partDependencies, encodeListPayload({{"d", 1, 2, 3, 99}})) +
            encodePart(partProvides, encodeListPayload({{"p", 4, 5, -6}})) +
            encodePart(partConflicts, encodeListPayload({})) + encodePart(partImage, "img"));
  EXPECT_TRUE(all.ok);
  EXPECT_EQ(
      headerText(all.package),
      std::string("p 1020304 1000 f0 mips|t24|t\0two|n| image ", 42) + "[d:1:2:3 ] [p:4:5:-6 ] []");
  EXPECT_EQ(all.stream.currentType(), partImage);  // left for the caller
  EXPECT_EQ(all.stream.tellg(), 0);
  Parse swapped(headerPart("p") + encodePart(partArchitecture, "mips") +
                encodePart(partText24, "late") + encodePart(partNote, "n"));
  EXPECT_TRUE(swapped.ok);
  EXPECT_EQ(headerText(swapped.package), "p 1020304 1000 f0 mips|||| [] [] []");
  EXPECT_EQ(swapped.stream.currentType(), partText24);
  const std::vector<pkgwriter::ListEntry> entries(256, {"c"});
  EXPECT_EQ(Parse(headerPart("p") + encodePart(partConflicts, encodeListPayload(entries)))
                .package.conflicts.size(),
            256u);
  std::string payload = encodeListPayload({{"a"}, {"b"}});
  payload[0] = 3;
  Parse overCounted(headerPart("p") + encodePart(partDependencies, payload) +
                    encodePart(partConflicts, encodeListPayload({{"c"}})));
  EXPECT_FALSE(overCounted.ok);
  EXPECT_EQ(headerText(overCounted.package), "p 1020304 1000 f0 i386|||| [a:0:0:0 b:0:0:0 ] [] []");
  // A text part longer than the reader keeps is cut there; one claiming nearly
  // 4 GiB in a short file keeps what was there.
  Parse longNote(headerPart("p") + encodePart(partNote, std::string(maxTextPartLength + 1, 'n')));
  EXPECT_EQ(longNote.package.note, std::string(maxTextPartLength, 'n'));
  Parse huge(headerPart("p") + pkgwriter::encodePartHeader(partNote, 0xFFFFFFF0) + "short");
  EXPECT_TRUE(huge.ok);
  EXPECT_EQ(huge.package.note, "short");
}
TEST(PackageFileLoader, SizeMagicAndBundles) {
  ScratchDir dir;
  const std::string body = headerPart("p") + encodePart(partNote, "n");
  writeFile(dir / "long.tpk", pkgwriter::wrapFile(body) + "x");  // one byte over
  PackageFile longer;
  EXPECT_FALSE(loadPackageFile(longer, dir / "long.tpk"));
  EXPECT_EQ(longer.length, body.size() + 8);

  writeFile(dir / "alt.tpk", pkgwriter::wrapFile(body, pkgwriter::alternateMagic));
  PackageFile alternate, missing;
  EXPECT_TRUE(loadPackageFile(alternate, dir / "alt.tpk") && alternate.alternateMagic);
  EXPECT_FALSE(loadPackageFile(missing, dir / "none.tpk"));

  pkgwriter::BundleLayout hollow;  // a bundle header and an image part, no members
  hollow.name = "b", hollow.image = "";
  writeFile(dir / "hollow.tpk", pkgwriter::buildBundleFile(hollow));
  PackageFile hollowFile;
  EXPECT_FALSE(loadPackageFile(hollowFile, dir / "hollow.tpk"));
  EXPECT_TRUE(hollowFile.isBundle);

  // A member's flag word is read wherever it falls against the file reader's
  // buffer boundaries.
  for (std::size_t pad = 8060; pad < 8200; ++pad) {
    pkgwriter::BundleLayout bundle;
    bundle.name = "bundle", bundle.note = std::string(pad, 'x');
    bundle.members = {headerPart("member", true, 1) + encodePart(partFileTree, "t")};
    writeFile(dir / "b.tpk", pkgwriter::buildBundleFile(bundle));
    PackageFile file;
    ASSERT_TRUE(loadPackageFile(file, dir / "b.tpk"));
    ASSERT_EQ(file.members.size(), 1u);
    EXPECT_EQ(file.members[0]->flags, 1u) << "note of " << pad << " bytes";
  }
}

}  // namespace
