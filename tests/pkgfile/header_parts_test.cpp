// Header parts read into package records, and the package file loader, against
// the sample packages and hand-made variations.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "model/version.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/package_builder.h"
#include "support/scratch_dir.h"

namespace {

using pkgwriter::encodeHeaderPayload;
using pkgwriter::encodeListPayload;
using pkgwriter::encodePart;
using testing_support::ScratchDir;
using testing_support::writeFile;

const std::string samples = std::string(TEST_DATA_DIR) + "/packages/";

std::string headerPart(const std::string& name, bool withFlags = false, std::uint32_t flags = 0) {
  return encodePart(partPackage, encodeHeaderPayload(name, 0x01020304, 1000, withFlags, flags));
}

// Every field of a record on one line, texts between | and lists as
// name:min:max:extra.
std::string describe(const Package& p) {
  std::ostringstream out;
  out << std::hex << p.name << ' ' << p.version << ' ' << std::dec << p.buildTime << " f" << p.flags
      << ' ' << p.architecture << '|' << p.text24 << '|' << p.text2 << '|' << p.note << '|'
      << (p.isImage ? " image" : "") << (p.isBundle ? " bundle" : "");
  for (const auto* list : {&p.deps, &p.provides, &p.conflicts}) {
    out << " [";
    for (const Dependency& d : *list) out << d.name << ':' << d.min << ':' << d.max << ':' << d.extra << ' ';
    out << ']';
  }
  return out.str();
}

// readHeaderParts over a package body, with the loader's wanted types.
struct Parse {
  explicit Parse(const std::string& body)
      : input(pkgwriter::wrapFile(body)), stream(input, true) {
    stream.wanted = {partBundle, partPackage, partText24,    partArchitecture, partText2,
                     partNote,   partDependencies, partProvides, partConflicts, partImage};
    stream.next();
    ok = readHeaderParts(package, stream);
  }
  std::istringstream input;
  PartStream stream;
  Package package;
  bool ok = false;
};

TEST(SamplePackages, FieldsListsAndFlags) {
  const std::pair<const char*, const char*> expected[] = {
      {"sample-plain.tpk", "smp-plain 2036601 1704067200 f0 i386|sample text||| [] [] []"},
      {"sample-image.tpk", "smp-image 5016600 1704078000 f1 i386|||image sample| image [] [] []"},
      {"sample-relations.tpk",
       "smp-rel 1046202 1704070800 f0 powerpc|||relations sample| "
       "[smp-plain:33777152:0:0 system:100689408:117466624:0 ] [smp-api:16803328:17393152:-1 ] "
       "[smp-old:0:16803328:0 ]"},
  };
  for (const auto& [name, fields] : expected) {
    PackageFile file;
    ASSERT_TRUE(loadPackageFile(file, samples + name)) << name;
    EXPECT_EQ(describe(file), fields);
  }

  PackageFile bundle;
  ASSERT_TRUE(loadPackageFile(bundle, samples + "sample-bundle.tpk"));
  EXPECT_EQ(bundle.length, 485u);
  EXPECT_EQ(describe(bundle), "smp-bundle 3006301 1704074400 f0 i386|||bundle sample| bundle [] [] []");
  ASSERT_EQ(bundle.members.size(), 2u);
  EXPECT_EQ(describe(*bundle.members[0]), "smp-m1 3006301 1704074401 f0 i386|||| [] [] []");
  EXPECT_EQ(describe(*bundle.members[1]), "smp-m2 3006301 1704074402 f0 i386|||| [] [] []");
}

TEST(HeaderParts, NamesAndFlagWord) {
  Parse full(headerPart("abcdefghijklmnop"));  // 16 bytes, no NUL: taken whole
  EXPECT_TRUE(full.ok);
  EXPECT_EQ(describe(full.package), "abcdefghijklmnop 1020304 1000 f0 i386|||| [] [] []");
  // The 36-byte header carries a flag word; a header under 32 bytes is refused.
  Parse flagged(headerPart("abc", true, 3));
  EXPECT_TRUE(flagged.ok);
  EXPECT_EQ(describe(flagged.package), "abc 1020304 1000 f3 i386|||| [] [] []");
  EXPECT_FALSE(Parse(encodePart(partPackage, encodeHeaderPayload("abc", 1, 1).substr(0, 31))).ok);
}

// A name beginning with "." would be passed over by the database loader.
TEST(HeaderParts, NamesThatWouldLeaveTheirDirectoryAreRefused) {
  for (const std::string name : {"", ".", "..", "a/b", "../../etc", "/", ".hidden"}) {
    EXPECT_FALSE(Parse(headerPart(name) + encodePart(partNote, "n")).ok) << "'" << name << "'";
  }
  EXPECT_TRUE(Parse(headerPart("a..")).ok);

  // A refused name is not stored: the record keeps the name it was made with,
  // so a loader that appends it anyway never builds a path from the bad one.
  std::istringstream input(pkgwriter::wrapFile(headerPart("..")));
  PartStream stream(input, false);
  stream.wanted = {partPackage};
  stream.next();
  Package record("entry");
  EXPECT_FALSE(readHeaderParts(record, stream));
  EXPECT_EQ(record.name, "entry");

  ScratchDir dir;  // a bad member name fails the whole bundle
  pkgwriter::BundleLayout bundle;
  bundle.name = "bundle";
  bundle.members = {headerPart("good"), headerPart("..")};
  writeFile(dir / "b.tpk", pkgwriter::buildBundleFile(bundle));
  PackageFile file;
  EXPECT_FALSE(loadPackageFile(file, dir / "b.tpk"));
}

// The database stores names in blank-separated text: a name holding white
// space, or an empty relation name, would be read back as a malformed entry
// and the installed package dropped at the next start. Control characters
// would reach the terminal through the listing.
TEST(HeaderParts, NamesTheDatabaseCannotHoldAreRefused) {
  for (const std::string name : {"a b", "a\tb", "a\nb", "tail\r", "x\x1b[2J", "x\x7f"}) {
    EXPECT_FALSE(Parse(headerPart(name)).ok) << "'" << name << "'";
  }
  for (const int listType : {partDependencies, partProvides, partConflicts}) {
    for (const std::string name : {"", "x y", "x\n", ".x", "\x01x"}) {
      Parse parse(headerPart("p") + encodePart(listType, encodeListPayload({{"ok"}, {name}})));
      EXPECT_FALSE(parse.ok) << listType << " '" << name << "'";
    }
    EXPECT_TRUE(Parse(headerPart("p") + encodePart(listType, encodeListPayload({{"x-y_z.1"}}))).ok);
  }
}

TEST(HeaderParts, PartOrderAndLists) {
  Parse all(headerPart("p") + encodePart(partText24, "t24") + encodePart(partArchitecture, "mips") +
            encodePart(partText2, std::string("t\0two", 5)) + encodePart(partNote, "n") +
            encodePart(partDependencies, encodeListPayload({{"d", 1, 2, 3, 99}})) +
            encodePart(partProvides, encodeListPayload({{"p", 4, 5, -6}})) +
            encodePart(partConflicts, encodeListPayload({})) + encodePart(partImage, "img"));
  EXPECT_TRUE(all.ok);
  EXPECT_EQ(describe(all.package), std::string("p 1020304 1000 f0 mips|t24|t\0two|n| image ", 42) +
                                       "[d:1:2:3 ] [p:4:5:-6 ] []");
  EXPECT_EQ(all.stream.currentType(), partImage);  // left for the caller
  EXPECT_EQ(all.stream.tellg(), 0);

  // 16 before 24: the text part is out of order and stops the reader there.
  Parse swapped(headerPart("p") + encodePart(partArchitecture, "mips") +
                encodePart(partText24, "late") + encodePart(partNote, "n"));
  EXPECT_TRUE(swapped.ok);
  EXPECT_EQ(describe(swapped.package), "p 1020304 1000 f0 mips|||| [] [] []");
  EXPECT_EQ(swapped.stream.currentType(), partText24);

  // A count of 3 with two entries fails, keeping the two.
  std::string payload = encodeListPayload({{"a"}, {"b"}});
  payload[0] = 3;
  Parse overCounted(headerPart("p") + encodePart(partDependencies, payload) +
                    encodePart(partConflicts, encodeListPayload({{"c"}})));
  EXPECT_FALSE(overCounted.ok);
  EXPECT_EQ(describe(overCounted.package), "p 1020304 1000 f0 i386|||| [a:0:0:0 b:0:0:0 ] [] []");

  // A text part claiming nearly 4 GiB in a short file keeps what was there.
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
  hollow.name = "b";
  hollow.image = "";
  writeFile(dir / "hollow.tpk", pkgwriter::buildBundleFile(hollow));
  PackageFile hollowFile;
  EXPECT_FALSE(loadPackageFile(hollowFile, dir / "hollow.tpk"));
  EXPECT_TRUE(hollowFile.isBundle);

  // A member's flag word is read wherever it falls against the file reader's
  // buffer boundaries.
  for (std::size_t pad = 8060; pad < 8200; ++pad) {
    pkgwriter::BundleLayout bundle;
    bundle.name = "bundle";
    bundle.note = std::string(pad, 'x');
    bundle.members = {headerPart("member", true, 1) + encodePart(partFileTree, "t")};
    writeFile(dir / "b.tpk", pkgwriter::buildBundleFile(bundle));
    PackageFile file;
    ASSERT_TRUE(loadPackageFile(file, dir / "b.tpk"));
    ASSERT_EQ(file.members.size(), 1u);
    EXPECT_EQ(file.members[0]->flags, 1u) << "note of " << pad << " bytes";
  }
}

}  // namespace
