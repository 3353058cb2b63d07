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

using pkgwriter::encodeFileHeader;
using pkgwriter::encodeHeaderPayload;
using pkgwriter::encodeListPayload;
using pkgwriter::encodePart;
using pkgwriter::encodePartHeader;
using pkgwriter::ListEntry;
using testing_support::ScratchDir;
using testing_support::writeFile;

const std::string samples = std::string(TEST_DATA_DIR) + "/packages/";

std::string fileOf(const std::string& body, std::uint32_t magic = pkgwriter::standardMagic) {
  return encodeFileHeader(magic, std::uint32_t(body.size())) + body;
}

std::string headerPart(const std::string& name, bool withFlags = false, std::uint32_t flags = 0) {
  return encodePart(partPackage, encodeHeaderPayload(name, makeVersion(1, 2, 'f', 0), 1000,
                                                     withFlags, flags));
}

// readHeaderParts over a package body, with the loader's wanted types.
struct Parse {
  explicit Parse(const std::string& body) : input(fileOf(body)), stream(input, true) {
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

void expectDependency(const Dependency& d, const std::string& name, Version min, Version max,
                      std::int32_t extra) {
  EXPECT_EQ(d.name, name);
  EXPECT_EQ(d.min, min);
  EXPECT_EQ(d.max, max);
  EXPECT_EQ(d.extra, extra);
}

TEST(SamplePackages, PlainAndImage) {
  PackageFile plain;
  ASSERT_TRUE(loadPackageFile(plain, samples + "sample-plain.tpk"));
  EXPECT_EQ(plain.path, samples + "sample-plain.tpk");
  EXPECT_EQ(plain.foundPath, plain.path);
  EXPECT_EQ(plain.length, 331u);
  EXPECT_FALSE(plain.alternateMagic);
  EXPECT_EQ(plain.name, "smp-plain");
  EXPECT_EQ(plain.version, 0x02036601u);
  EXPECT_EQ(plain.buildTime, 1704067200u);
  EXPECT_EQ(plain.flags, 0u);
  EXPECT_EQ(plain.text24, "sample text");
  EXPECT_EQ(plain.architecture, "i386");
  EXPECT_EQ(plain.text2, "");
  EXPECT_EQ(plain.note, "");
  EXPECT_TRUE(plain.deps.empty() && plain.provides.empty() && plain.conflicts.empty());
  EXPECT_FALSE(plain.isImage);
  EXPECT_FALSE(plain.isBundle);
  EXPECT_TRUE(plain.members.empty());

  PackageFile image;
  ASSERT_TRUE(loadPackageFile(image, samples + "sample-image.tpk"));
  EXPECT_EQ(image.length, 557u);
  EXPECT_EQ(image.name, "smp-image");
  EXPECT_EQ(image.version, 0x05016600u);
  EXPECT_EQ(image.buildTime, 1704078000u);
  EXPECT_EQ(image.flags, std::uint32_t(bootImage));
  EXPECT_EQ(image.note, "image sample");
  EXPECT_EQ(image.architecture, "i386");
  EXPECT_TRUE(image.isImage);
  EXPECT_FALSE(image.isBundle);
}

TEST(SamplePackages, Relations) {
  PackageFile file;
  ASSERT_TRUE(loadPackageFile(file, samples + "sample-relations.tpk"));
  EXPECT_EQ(file.length, 403u);
  EXPECT_EQ(file.name, "smp-rel");
  EXPECT_EQ(file.version, 0x01046202u);
  EXPECT_EQ(file.buildTime, 1704070800u);
  EXPECT_EQ(file.architecture, "powerpc");
  EXPECT_EQ(file.note, "relations sample");
  EXPECT_EQ(file.text24, "");
  ASSERT_EQ(file.deps.size(), 2u);
  expectDependency(file.deps[0], "smp-plain", 33777152, 0, 0);
  expectDependency(file.deps[1], "system", 100689408, 117466624, 0);
  ASSERT_EQ(file.provides.size(), 1u);
  expectDependency(file.provides[0], "smp-api", 16803328, 17393152, -1);
  ASSERT_EQ(file.conflicts.size(), 1u);
  expectDependency(file.conflicts[0], "smp-old", 0, 16803328, 0);
  EXPECT_FALSE(file.isImage);
}

TEST(SamplePackages, BundleWithMembers) {
  PackageFile file;
  ASSERT_TRUE(loadPackageFile(file, samples + "sample-bundle.tpk"));
  EXPECT_TRUE(file.isBundle);
  EXPECT_EQ(file.length, 485u);
  EXPECT_EQ(file.name, "smp-bundle");
  EXPECT_EQ(file.version, 0x03006301u);
  EXPECT_EQ(file.buildTime, 1704074400u);
  EXPECT_EQ(file.note, "bundle sample");
  EXPECT_EQ(file.architecture, "i386");
  ASSERT_EQ(file.members.size(), 2u);
  EXPECT_EQ(file.members[0]->name, "smp-m1");
  EXPECT_EQ(file.members[0]->buildTime, 1704074401u);
  EXPECT_EQ(file.members[1]->name, "smp-m2");
  EXPECT_EQ(file.members[1]->buildTime, 1704074402u);
  for (const auto& member : file.members) {
    EXPECT_EQ(member->version, 0x03006301u);
    EXPECT_EQ(member->architecture, "i386");
    EXPECT_FALSE(member->isBundle);
  }
}

TEST(HeaderParts, NamesAndFlagWord) {
  Parse full(headerPart("abcdefghijklmnop"));  // 16 bytes, no NUL
  ASSERT_TRUE(full.ok);
  EXPECT_EQ(full.package.name, "abcdefghijklmnop");
  EXPECT_EQ(full.package.version, makeVersion(1, 2, 'f', 0));
  EXPECT_EQ(full.package.buildTime, 1000u);

  Parse shortName(headerPart("abc"));
  ASSERT_TRUE(shortName.ok);
  EXPECT_EQ(shortName.package.name, "abc");
  EXPECT_EQ(shortName.package.flags, 0u);  // 32-byte header: no flag word

  Parse flagged(headerPart("abc", true, 3));
  ASSERT_TRUE(flagged.ok);
  EXPECT_EQ(flagged.package.flags, 3u);

  Parse truncated(encodePart(partPackage, encodeHeaderPayload("abc", 1, 1).substr(0, 31)));
  EXPECT_FALSE(truncated.ok);
}

TEST(HeaderParts, NamesThatWouldLeaveTheirDirectoryAreRefused) {
  for (const std::string name : {"", ".", "..", "a/b", "../../etc", "/"}) {
    Parse parse(headerPart(name) + encodePart(partNote, "n"));
    EXPECT_FALSE(parse.ok) << "name '" << name << "'";
  }
  Parse dots(headerPart("..a"));
  EXPECT_TRUE(dots.ok);

  // A bad member name fails the whole bundle.
  ScratchDir dir;
  pkgwriter::BundleSpec bundle;
  bundle.name = "bundle";
  bundle.members = {headerPart("good"), headerPart("..")};
  writeFile(dir / "b.tpk", pkgwriter::buildBundleFile(bundle));
  PackageFile file;
  EXPECT_FALSE(loadPackageFile(file, dir / "b.tpk"));
}

TEST(HeaderParts, FixedPartOrder) {
  Parse all(headerPart("p") + encodePart(partText24, "t24") + encodePart(partArchitecture, "mips") +
            encodePart(partText2, std::string("t\0two", 5)) + encodePart(partNote, "n") +
            encodePart(partDependencies, encodeListPayload({{"d", 1, 2, 3, 99}})) +
            encodePart(partProvides, encodeListPayload({{"p", 4, 5, -6}})) +
            encodePart(partConflicts, encodeListPayload({{"c"}})) + encodePart(partImage, "img") +
            encodePart(partFileTree, "tree"));
  ASSERT_TRUE(all.ok);
  EXPECT_EQ(all.package.text24, "t24");
  EXPECT_EQ(all.package.architecture, "mips");
  EXPECT_EQ(all.package.text2, std::string("t\0two", 5));
  EXPECT_EQ(all.package.note, "n");
  ASSERT_EQ(all.package.deps.size(), 1u);
  expectDependency(all.package.deps[0], "d", 1, 2, 3);  // bytes 20-23 are not max
  ASSERT_EQ(all.package.provides.size(), 1u);
  EXPECT_EQ(all.package.provides[0].extra, -6);
  ASSERT_EQ(all.package.conflicts.size(), 1u);
  EXPECT_TRUE(all.package.isImage);
  EXPECT_EQ(all.stream.currentType(), partImage);  // left for the caller
  EXPECT_EQ(all.stream.tellg(), 0);

  // 16 before 24: the text part is out of order and stops the reader.
  Parse swapped(headerPart("p") + encodePart(partArchitecture, "mips") +
                encodePart(partText24, "late") + encodePart(partNote, "n"));
  ASSERT_TRUE(swapped.ok);
  EXPECT_EQ(swapped.package.architecture, "mips");
  EXPECT_EQ(swapped.package.text24, "");
  EXPECT_EQ(swapped.package.note, "");
  EXPECT_EQ(swapped.stream.currentType(), partText24);
}

TEST(HeaderParts, ListCounts) {
  Parse empty(headerPart("p") + encodePart(partDependencies, encodeListPayload({})) +
              encodePart(partConflicts, encodeListPayload({{"c"}})));
  ASSERT_TRUE(empty.ok);
  EXPECT_TRUE(empty.package.deps.empty());
  EXPECT_EQ(empty.package.conflicts.size(), 1u);

  // Count 3 with two entries: fails, keeping the two.
  std::string payload = encodeListPayload({{"a"}, {"b"}});
  payload[0] = 3;
  Parse overCounted(headerPart("p") + encodePart(partDependencies, payload) +
                    encodePart(partConflicts, encodeListPayload({{"c"}})));
  EXPECT_FALSE(overCounted.ok);
  ASSERT_EQ(overCounted.package.deps.size(), 2u);
  EXPECT_EQ(overCounted.package.deps[1].name, "b");
  EXPECT_TRUE(overCounted.package.conflicts.empty());
}

TEST(HeaderParts, OversizedTextIsBounded) {
  // A text part claiming nearly 4 GiB in a short file: read what is bounded,
  // and the walk ends there.
  Parse parse(headerPart("p") + encodePartHeader(partNote, 0xFFFFFFF0) + "short");
  ASSERT_TRUE(parse.ok);
  EXPECT_LE(parse.package.note.size(), maxTextPartLength);
  EXPECT_EQ(parse.package.note.substr(0, 5), "short");
  EXPECT_EQ(parse.stream.currentType(), -1);
}

TEST(PackageFileLoader, SizeMagicAndBundles) {
  ScratchDir dir;
  const std::string body = headerPart("p") + encodePart(partNote, "n");

  writeFile(dir / "long.tpk", fileOf(body) + "x");  // one byte more than the header says
  PackageFile longer;
  EXPECT_FALSE(loadPackageFile(longer, dir / "long.tpk"));
  EXPECT_EQ(longer.length, body.size() + 8);

  writeFile(dir / "alt.tpk", fileOf(body, pkgwriter::alternateMagic));
  PackageFile alternate;
  ASSERT_TRUE(loadPackageFile(alternate, dir / "alt.tpk"));
  EXPECT_TRUE(alternate.alternateMagic);
  EXPECT_EQ(alternate.note, "n");

  PackageFile missing;
  EXPECT_FALSE(loadPackageFile(missing, dir / "none.tpk"));

  // A bundle of nothing but its header and an image part has no members.
  writeFile(dir / "hollow.tpk",
            fileOf(encodePart(partBundle, encodeHeaderPayload("b", 1, 1)) + encodePart(partImage, "")));
  PackageFile hollow;
  EXPECT_FALSE(loadPackageFile(hollow, dir / "hollow.tpk"));
  EXPECT_TRUE(hollow.isBundle);
}

TEST(PackageFileLoader, MemberFlagsWhereverTheHeaderFallsInTheFile) {
  // The flag word of a member must be read wherever its bytes fall relative to
  // the file reader's buffer boundaries.
  ScratchDir dir;
  for (std::size_t pad = 8060; pad < 8200; ++pad) {
    pkgwriter::BundleSpec bundle;
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
