// The part stream: file header, the walk over wanted parts, bounded payload
// reads, the digest windows of the running SHA-1, skipping, seeking and the tee.
#include <gtest/gtest.h>

#include <cstring>
#include <istream>
#include <sstream>
#include <string>

#include "pkgfile/memory_source.h"
#include "pkgfile/part_stream.h"
#include "pkgwriter/digest_window.h"
#include "pkgwriter/part_encoding.h"

namespace {

using pkgwriter::Digest;
using pkgwriter::encodeFileHeader;
using pkgwriter::encodePart;
using pkgwriter::encodePartHeader;
using testing_support::MemorySource;

std::string patternBytes(std::size_t length, unsigned seed) {
  std::string out(length, '\0');
  for (std::size_t i = 0; i < length; ++i) out[i] = char((i * 131 + seed * 17 + (i >> 8)) & 0xFF);
  return out;
}

std::string fileOf(const std::string& body, std::uint32_t magic = pkgwriter::standardMagic) {
  return encodeFileHeader(magic, std::uint32_t(body.size())) + body;
}

// A package body: header, a text part, a large payload that spans several
// 4096-byte chunks, and a small part after it.
std::string sampleBody(unsigned seed = 1) {
  return encodePart(partPackage, pkgwriter::encodeHeaderPayload("pkg", 0x01006600, 7)) +
         encodePart(partText24, "some text") + encodePart(partFileTree, patternBytes(10000, seed)) +
         encodePart(partNote, "note!");
}

Digest takeDigest(PartStream& stream) {
  Digest digest{};
  EXPECT_TRUE(stream.takeDigest(digest.data()));
  return digest;
}

// An input and the part stream over it.
struct Walk {
  explicit Walk(std::string bytes, bool hashing = true, std::streambuf* tee = nullptr,
                bool seekable = true)
      : source(std::move(bytes), seekable), input(&source), stream(input, hashing, tee) {}
  MemorySource source;
  std::istream input;
  PartStream stream;
};

TEST(PartStreamHeader, MagicAndLength) {
  Walk standard(fileOf(sampleBody()));
  EXPECT_TRUE(standard.stream.good());
  EXPECT_FALSE(standard.stream.isAlternateMagic());
  EXPECT_EQ(standard.stream.totalLength(), sampleBody().size() + 8);

  Walk alternate(fileOf(sampleBody(), pkgwriter::alternateMagic));
  EXPECT_TRUE(alternate.stream.good());
  EXPECT_TRUE(alternate.stream.isAlternateMagic());

  // An unknown magic fails at once but still reports the length.
  Walk unknown(encodeFileHeader(0xBAD0F11F, 100) + sampleBody());
  EXPECT_TRUE(unknown.stream.fail());
  EXPECT_EQ(unknown.stream.totalLength(), 108u);
  unknown.stream.wanted = {partPackage};
  EXPECT_EQ(unknown.stream.next(), -1);
  EXPECT_EQ(unknown.stream.currentType(), -1);

  // Shorter than a file header: no length, no magic, and no walk.
  Walk shortInput(encodeFileHeader(pkgwriter::standardMagic, 0).substr(0, 7));
  EXPECT_TRUE(shortInput.stream.fail());
  EXPECT_EQ(shortInput.stream.totalLength(), 0u);
  EXPECT_EQ(shortInput.stream.magic(), 0xFFFFFFFFu);
  EXPECT_EQ(shortInput.stream.next(), -1);

  // Exactly a header: the walk ends at once with the digest of nothing.
  Walk empty(encodeFileHeader(pkgwriter::standardMagic, 0));
  EXPECT_EQ(empty.stream.totalLength(), 8u);
  EXPECT_EQ(empty.stream.next(), -1);
  EXPECT_TRUE(empty.stream.eof() && empty.stream.fail());
  EXPECT_EQ(takeDigest(empty.stream), pkgwriter::sha1(""));
  Digest again{};
  EXPECT_FALSE(empty.stream.takeDigest(again.data()));  // handed out once only
}

TEST(PartStreamWalk, StopsOnlyAtWantedPartsWithTheirPositions) {
  const std::string body = sampleBody();
  Walk walk(fileOf(body));
  PartStream& s = walk.stream;
  s.wanted = {partNote, partText24};
  EXPECT_EQ(s.currentType(), -1);

  ASSERT_EQ(s.next(), partText24);
  EXPECT_EQ(s.currentType(), partText24);
  EXPECT_EQ(s.partLength(), 9u);
  EXPECT_EQ(s.partOffset(), 8u + 6 + 32 + 6);
  EXPECT_EQ(s.tellg(), 0);
  char text[4] = {};
  ASSERT_TRUE(s.read(text, 4));
  EXPECT_EQ(std::string(text, 4), "some");
  EXPECT_EQ(s.tellg(), 4);

  // The file tree is passed over; the note comes next.
  ASSERT_EQ(s.next(), partNote);
  EXPECT_EQ(s.partOffset(), body.size() + 8 - 5);
  std::string note(5, '\0');
  ASSERT_TRUE(s.read(note.data(), 5));
  EXPECT_EQ(note, "note!");
  EXPECT_EQ(s.get(), std::char_traits<char>::eof());  // the part ends here

  EXPECT_EQ(s.next(), -1);
  EXPECT_EQ(s.currentType(), -1);
  EXPECT_EQ(s.next(), -1);  // ended stays ended
}

TEST(PartStreamWalk, ReadPastThePartFailsTheStream) {
  Walk walk(fileOf(sampleBody()));
  walk.stream.wanted = {partText24, partFileTree};
  ASSERT_EQ(walk.stream.next(), partText24);
  char buffer[16];
  EXPECT_FALSE(walk.stream.read(buffer, 10));  // the part holds 9 bytes
  EXPECT_EQ(walk.stream.gcount(), 9);
  EXPECT_EQ(walk.stream.next(), -1);  // the file tree is never reached
}

TEST(PartStreamWalk, EmptyWantedPart) {
  const std::string body = encodePart(partPackage, pkgwriter::encodeHeaderPayload("a", 1, 1)) +
                           encodePart(partNote, "") + encodePart(partText24, "x");
  Walk walk(fileOf(body));
  walk.stream.wanted = {partNote, partText24};
  ASSERT_EQ(walk.stream.next(), partNote);
  EXPECT_EQ(walk.stream.partLength(), 0u);
  char c;
  EXPECT_EQ(walk.stream.readsome(&c, 1), 0);
  EXPECT_TRUE(walk.stream.good());
  EXPECT_FALSE(walk.stream.read(&c, 1));

  Walk next(fileOf(body));
  next.stream.wanted = {partNote, partText24};
  ASSERT_EQ(next.stream.next(), partNote);
  EXPECT_EQ(next.stream.next(), partText24);
}

// The digest of a window must not depend on how the caller went through it.
TEST(PartStreamDigest, SameWhetherPayloadsAreReadSkippedOrSought) {
  const std::string body = sampleBody();
  const Digest expected = pkgwriter::digestWindow(body);

  auto walkWith = [&](auto&& handleFileTree) {
    Walk walk(fileOf(body));
    walk.stream.wanted = {partPackage, partFileTree};
    EXPECT_EQ(walk.stream.next(), partPackage);
    EXPECT_EQ(walk.stream.next(), partFileTree);
    handleFileTree(walk.stream);
    EXPECT_EQ(walk.stream.next(), -1);
    return takeDigest(walk.stream);
  };

  EXPECT_EQ(walkWith([](PartStream&) {}), expected);  // passed over by next()
  EXPECT_EQ(walkWith([](PartStream& s) {               // read in 4096-byte blocks
              char block[4096];
              while (s.rdbuf()->sgetn(block, sizeof block) > 0) {
              }
            }),
            expected);
  EXPECT_EQ(walkWith([](PartStream& s) {  // sought forward in two steps
              EXPECT_TRUE(s.seekg(5000, std::ios_base::cur));
              EXPECT_TRUE(s.seekg(3, std::ios_base::end));
              EXPECT_EQ(s.tellg(), 9997);
            }),
            expected);
  EXPECT_EQ(walkWith([](PartStream& s) {  // byte by byte with peeks and put-backs
              for (int i = 0; i < 300; ++i) {
                s.peek();
                const int c = s.get();
                if (i % 7 == 0) {
                  EXPECT_TRUE(s.putback(char(c)));
                  s.get();
                }
                if (i % 11 == 0) {
                  EXPECT_TRUE(s.unget());
                  s.get();
                }
              }
            }),
            expected);
}

TEST(PartStreamDigest, WindowsEndAtEachPackageHeaderAndAtTheEnd) {
  const std::string first = sampleBody(1);
  const std::string second = sampleBody(2);
  const std::string leading = encodePart(partBundle, pkgwriter::encodeHeaderPayload("b", 1, 1));
  Walk walk(fileOf(leading + first + second));
  walk.stream.wanted = {partBundle, partPackage};
  ASSERT_EQ(walk.stream.next(), partBundle);
  ASSERT_EQ(walk.stream.next(), partPackage);
  EXPECT_EQ(takeDigest(walk.stream), pkgwriter::sha1(leading));  // before the first package
  ASSERT_EQ(walk.stream.next(), partPackage);
  EXPECT_EQ(takeDigest(walk.stream), pkgwriter::sha1(first));
  EXPECT_EQ(walk.stream.next(), -1);
  EXPECT_EQ(takeDigest(walk.stream), pkgwriter::sha1(second));
}

TEST(PartStreamDigest, TruncatedInput) {
  // A part header cut after 3 bytes ends the walk like the end of the input,
  // with a digest that leaves those bytes out.
  const std::string body = sampleBody();
  Walk cutHeader(fileOf(body + encodePartHeader(partNote, 1).substr(0, 3)));
  cutHeader.stream.wanted = {partNote};
  ASSERT_EQ(cutHeader.stream.next(), partNote);
  EXPECT_EQ(cutHeader.stream.next(), -1);
  EXPECT_EQ(takeDigest(cutHeader.stream), pkgwriter::sha1(body));

  // A payload cut short while being passed over ends the walk with no new digest.
  const std::string cutBody = body.substr(0, body.size() - 3);
  for (bool hashing : {true, false}) {
    Walk cutPayload(fileOf(cutBody), hashing);
    cutPayload.stream.wanted = {partPackage, partNote};
    ASSERT_EQ(cutPayload.stream.next(), partPackage);
    Digest ignored{};
    cutPayload.stream.takeDigest(ignored.data());
    ASSERT_EQ(cutPayload.stream.next(), partNote);
    EXPECT_EQ(cutPayload.stream.next(), -1);
    EXPECT_FALSE(cutPayload.stream.takeDigest(ignored.data())) << "hashing " << hashing;
  }
}

TEST(PartStreamSkip, SeeksTheSourceOnlyWhenNothingNeedsTheBytes) {
  const std::string file = fileOf(sampleBody());

  // Hashing off, no tee: the file tree is passed over by a seek.
  Walk plain(file, false);
  plain.stream.wanted = {partNote};
  ASSERT_EQ(plain.stream.next(), partNote);
  EXPECT_GT(plain.source.seeks, 0);
  EXPECT_LT(plain.source.bulkBytes, 200u);

  // Hashing on: every byte is read.
  Walk hashed(file, true);
  hashed.stream.wanted = {partNote};
  ASSERT_EQ(hashed.stream.next(), partNote);
  EXPECT_EQ(hashed.source.seeks, 0);
  EXPECT_GT(hashed.source.bulkBytes, 10000u);

  // A source that cannot seek is read instead.
  Walk pipe(file, false, nullptr, false);
  pipe.stream.wanted = {partNote};
  ASSERT_EQ(pipe.stream.next(), partNote);
  std::string note(5, '\0');
  EXPECT_TRUE(pipe.stream.read(note.data(), 5));
  EXPECT_EQ(note, "note!");
}

TEST(PartStreamSkip, SeeksWithinThePart) {
  const std::string payload = patternBytes(10000, 1);
  const std::string file = fileOf(sampleBody(1));

  // Hashing off: any position in the part, backwards included.
  Walk plain(file, false);
  plain.stream.wanted = {partFileTree};
  ASSERT_EQ(plain.stream.next(), partFileTree);
  ASSERT_TRUE(plain.stream.seekg(6000));
  EXPECT_EQ(plain.stream.get(), (unsigned char)payload[6000]);
  ASSERT_TRUE(plain.stream.seekg(10, std::ios_base::beg));
  EXPECT_EQ(plain.stream.get(), (unsigned char)payload[10]);
  EXPECT_EQ(plain.stream.tellg(), 11);
  EXPECT_FALSE(plain.stream.seekg(10001));  // beyond the part
  plain.stream.clear();
  EXPECT_EQ(plain.stream.tellg(), 11);

  // Hashing on: forward only, and a refused seek leaves the position alone.
  Walk hashed(file, true);
  hashed.stream.wanted = {partFileTree};
  ASSERT_EQ(hashed.stream.next(), partFileTree);
  ASSERT_TRUE(hashed.stream.seekg(6000));
  EXPECT_FALSE(hashed.stream.seekg(100));
  hashed.stream.clear();
  EXPECT_EQ(hashed.stream.tellg(), 6000);
  EXPECT_FALSE(hashed.stream.seekg(10001));
  hashed.stream.clear();
  EXPECT_EQ(hashed.stream.get(), (unsigned char)payload[6000]);
  EXPECT_TRUE(hashed.stream.seekg(10000));  // to the very end
  EXPECT_EQ(hashed.stream.get(), std::char_traits<char>::eof());
}

TEST(PartStreamPutBack, HashedOnceAndNotBeforeThePart) {
  const std::string body = sampleBody();
  Walk walk(fileOf(body));
  walk.stream.wanted = {partText24};
  ASSERT_EQ(walk.stream.next(), partText24);
  EXPECT_FALSE(walk.stream.unget());  // nothing of this part was read yet
  walk.stream.clear();

  std::string text(9, '\0');
  ASSERT_EQ(walk.stream.get(), 's');
  ASSERT_TRUE(walk.stream.putback('s'));
  EXPECT_EQ(walk.stream.tellg(), 0);
  ASSERT_TRUE(walk.stream.read(text.data(), 9));  // bulk read over the put-back byte
  EXPECT_EQ(text, "some text");
  EXPECT_EQ(walk.stream.next(), -1);
  EXPECT_EQ(takeDigest(walk.stream), pkgwriter::sha1(body));
}

TEST(PartStreamTee, ReceivesAByteExactCopy) {
  const std::string file = fileOf(sampleBody());
  std::stringbuf tee;
  Walk walk(file, true, &tee);
  walk.stream.wanted = {partPackage, partText24, partFileTree};
  ASSERT_EQ(walk.stream.next(), partPackage);  // header left unread
  ASSERT_EQ(walk.stream.next(), partText24);
  walk.stream.get();
  walk.stream.unget();  // a put-back byte is copied once
  char buffer[5];
  walk.stream.read(buffer, 5);
  ASSERT_EQ(walk.stream.next(), partFileTree);
  walk.stream.seekg(4000);  // sought by reading
  walk.stream.read(buffer, 5);
  EXPECT_EQ(walk.stream.next(), -1);
  EXPECT_EQ(tee.str(), file);

  // Without hashing the tee still gets every byte, skipped ones included.
  std::stringbuf plainTee;
  Walk plain(file, false, &plainTee);
  plain.stream.wanted = {partNote};
  ASSERT_EQ(plain.stream.next(), partNote);
  EXPECT_EQ(plain.stream.next(), -1);
  EXPECT_EQ(plainTee.str(), file);
}

}  // namespace
