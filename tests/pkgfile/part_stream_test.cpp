// The part stream: file header, the walk over wanted parts, bounded payload
// reads, the digest windows of the running SHA-1, skipping, seeking and the tee.
#include <gtest/gtest.h>

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

const std::string treePayload = [] {
  std::string out(10000, '\0');
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = char((i * 131 + (i >> 8)) & 0xFF);
  return out;
}();

std::string fileOf(const std::string& body, std::uint32_t magic = pkgwriter::standardMagic) {
  return encodeFileHeader(magic, std::uint32_t(body.size())) + body;
}

// Header, a text, a payload spanning several 4096-byte chunks, a note.
std::string sampleBody(const std::string& tree = treePayload) {
  return encodePart(partPackage, pkgwriter::encodeHeaderPayload("pkg", 0x01006600, 7)) +
         encodePart(partText24, "some text") + encodePart(partFileTree, tree) +
         encodePart(partNote, "note!");
}

Digest takeDigest(PartStream& stream) {
  Digest digest{};
  EXPECT_TRUE(stream.takeDigest(digest.data()));
  return digest;
}

struct Walk {
  explicit Walk(std::string bytes, bool hashing = true, std::streambuf* tee = nullptr,
                bool seekable = true)
      : source(std::move(bytes), seekable), input(&source), stream(input, hashing, tee) {}
  testing_support::MemorySource source;
  std::istream input;
  PartStream stream;
};

TEST(PartStreamHeader, MagicAndLength) {
  Walk standard(fileOf(sampleBody()));
  EXPECT_TRUE(standard.stream.good() && !standard.stream.isAlternateMagic());
  EXPECT_EQ(standard.stream.totalLength(), sampleBody().size() + 8);
  Walk alternate(fileOf(sampleBody(), pkgwriter::alternateMagic));
  EXPECT_TRUE(alternate.stream.good() && alternate.stream.isAlternateMagic());

  Walk unknown(encodeFileHeader(0xBAD0F11F, 100) + sampleBody());
  EXPECT_TRUE(unknown.stream.fail());
  EXPECT_EQ(unknown.stream.totalLength(), 108u);
  unknown.stream.wanted = {partPackage};
  EXPECT_EQ(unknown.stream.next(), -1);

  Walk shortInput(encodeFileHeader(pkgwriter::standardMagic, 0).substr(0, 7));
  EXPECT_TRUE(shortInput.stream.fail());
  EXPECT_EQ(shortInput.stream.totalLength(), 0u);
  EXPECT_EQ(shortInput.stream.next(), -1);

  // Exactly a header: the walk ends at once with the digest of nothing, once.
  Walk empty(encodeFileHeader(pkgwriter::standardMagic, 0));
  EXPECT_EQ(empty.stream.totalLength(), 8u);
  EXPECT_EQ(empty.stream.next(), -1);
  EXPECT_EQ(takeDigest(empty.stream), pkgwriter::sha1(""));
  Digest again{};
  EXPECT_FALSE(empty.stream.takeDigest(again.data()));
}

TEST(PartStreamWalk, WantedPartsPositionsAndBounds) {
  const std::string body = sampleBody();
  Walk walk(fileOf(body));
  PartStream& s = walk.stream;
  s.wanted = {partNote, partText24};
  ASSERT_EQ(s.next(), partText24);
  EXPECT_EQ(s.partLength(), 9u);
  EXPECT_EQ(s.partOffset(), 8u + 6 + 32 + 6);
  EXPECT_FALSE(s.unget());  // nothing of the part read yet
  s.clear();
  char text[4];
  ASSERT_TRUE(s.read(text, 4));
  EXPECT_EQ(std::string(text, 4), "some");
  EXPECT_EQ(s.tellg(), 4);

  ASSERT_EQ(s.next(), partNote);  // the file tree is passed over
  EXPECT_EQ(s.partOffset(), body.size() + 8 - 5);
  EXPECT_EQ(s.tellg(), 0);
  char note[8];
  EXPECT_FALSE(s.read(note, 6));  // one byte more than the part holds
  EXPECT_EQ(std::string(note, std::size_t(s.gcount())), "note!");
  EXPECT_EQ(s.next(), -1);

  // An empty wanted part: nothing to read, and the walk goes on.
  Walk empty(fileOf(encodePart(partNote, "") + encodePart(partText24, "x")));
  empty.stream.wanted = {partNote, partText24};
  ASSERT_EQ(empty.stream.next(), partNote);
  EXPECT_EQ(empty.stream.readsome(note, 1), 0);
  EXPECT_EQ(empty.stream.next(), partText24);
}

// The digest of a window must not depend on how the caller went through it.
TEST(PartStreamDigest, SameWhetherPayloadsAreReadSkippedOrSought) {
  const std::string body = sampleBody();
  auto digestWith = [&](auto&& handleFileTree) {
    Walk walk(fileOf(body));
    walk.stream.wanted = {partPackage, partFileTree};
    EXPECT_EQ(walk.stream.next(), partPackage);
    EXPECT_EQ(walk.stream.next(), partFileTree);
    handleFileTree(walk.stream);
    EXPECT_EQ(walk.stream.next(), -1);
    return takeDigest(walk.stream);
  };
  const Digest expected = pkgwriter::digestWindow(body);
  EXPECT_EQ(digestWith([](PartStream&) {}), expected);
  EXPECT_EQ(digestWith([](PartStream& s) {
              char block[4096];
              while (s.rdbuf()->sgetn(block, sizeof block) > 0) {
              }
            }),
            expected);
  EXPECT_EQ(digestWith([](PartStream& s) {
              EXPECT_TRUE(s.seekg(5000, std::ios_base::cur));
              EXPECT_TRUE(s.seekg(3, std::ios_base::end));  // counts back from the end
              EXPECT_EQ(s.tellg(), 9997);
            }),
            expected);
  EXPECT_EQ(digestWith([](PartStream& s) {  // peeks and put-backs are hashed once
              for (int i = 0; i < 300; ++i) {
                s.peek();
                const int c = s.get();
                if (i % 7 == 0 || i % 11 == 0) {
                  EXPECT_TRUE(i % 7 == 0 ? s.putback(char(c)) : s.unget());
                  s.get();
                }
              }
              char rest[16];
              s.read(rest, sizeof rest);
            }),
            expected);
}

TEST(PartStreamDigest, WindowsAndTruncation) {
  const std::string first = sampleBody();
  const std::string second = sampleBody(std::string(50, 'z'));
  const std::string leading = encodePart(partBundle, pkgwriter::encodeHeaderPayload("b", 1, 1));
  Walk walk(fileOf(leading + first + second));
  walk.stream.wanted = {partBundle, partPackage};
  ASSERT_EQ(walk.stream.next(), partBundle);
  ASSERT_EQ(walk.stream.next(), partPackage);
  EXPECT_EQ(takeDigest(walk.stream), pkgwriter::sha1(leading));
  ASSERT_EQ(walk.stream.next(), partPackage);
  EXPECT_EQ(takeDigest(walk.stream), pkgwriter::sha1(first));
  EXPECT_EQ(walk.stream.next(), -1);
  EXPECT_EQ(takeDigest(walk.stream), pkgwriter::sha1(second));

  // A part header cut after 3 bytes ends the walk like the end of the input.
  Walk cutHeader(fileOf(first + pkgwriter::encodePartHeader(partNote, 1).substr(0, 3)));
  EXPECT_EQ(cutHeader.stream.next(), -1);
  EXPECT_EQ(takeDigest(cutHeader.stream), pkgwriter::sha1(first));

  // A payload cut short while being passed over: no new digest.
  for (bool hashing : {true, false}) {
    Walk cutPayload(fileOf(first.substr(0, first.size() - 3)), hashing);
    cutPayload.stream.wanted = {partPackage};
    ASSERT_EQ(cutPayload.stream.next(), partPackage);
    Digest ignored{};
    cutPayload.stream.takeDigest(ignored.data());
    EXPECT_EQ(cutPayload.stream.next(), -1);
    EXPECT_FALSE(cutPayload.stream.takeDigest(ignored.data())) << "hashing " << hashing;
  }
}

TEST(PartStreamSeek, SourceSeeksOnlyWhenNothingNeedsTheBytes) {
  const std::string file = fileOf(sampleBody());
  Walk plain(file, false), hashed(file, true), pipe(file, false, nullptr, false);
  for (Walk* walk : {&plain, &hashed, &pipe}) {
    walk->stream.wanted = {partFileTree, partNote};
    ASSERT_EQ(walk->stream.next(), partFileTree);
    ASSERT_TRUE(walk->stream.seekg(6000));
    EXPECT_EQ(walk->stream.get(), (unsigned char)treePayload[6000]);
    EXPECT_FALSE(walk->stream.seekg(10001));  // beyond the part
    walk->stream.clear();
    EXPECT_EQ(walk->stream.tellg(), 6001);
  }
  // Without hashing or tee, backwards works and the rest is passed over by seeking.
  ASSERT_TRUE(plain.stream.seekg(10));
  EXPECT_EQ(plain.stream.get(), (unsigned char)treePayload[10]);
  ASSERT_EQ(plain.stream.next(), partNote);
  EXPECT_LT(plain.source.bulkBytes, 100u);
  // With hashing every byte is read, and backwards fails where it stands.
  EXPECT_FALSE(hashed.stream.seekg(100));
  hashed.stream.clear();
  EXPECT_EQ(hashed.stream.tellg(), 6001);
  ASSERT_EQ(hashed.stream.next(), partNote);
  EXPECT_EQ(hashed.source.seeks, 0);
  EXPECT_GT(hashed.source.bulkBytes, 10000u);
  // A source that refuses seeks is read instead.
  ASSERT_EQ(pipe.stream.next(), partNote);
  EXPECT_EQ(pipe.stream.get(), 'n');
}

// A file stream throws out of its reads on a read error (a bad flash block,
// a directory). The walk must end there as at a short read.
TEST(PartStreamReadError, EndsTheWalkLikeAShortRead) {
  struct ThrowingSource : std::streambuf {
    explicit ThrowingSource(std::string bytes) : bytes(std::move(bytes)) {
      setg(this->bytes.data(), this->bytes.data(), this->bytes.data() + this->bytes.size());
    }
    int_type underflow() override { throw std::ios_base::failure("read error"); }
    pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override {
      throw std::ios_base::failure("seek error");
    }
    std::string bytes;
  };
  const std::string file = fileOf(sampleBody());
  // Cut in the file header, in the package header, in the file tree.
  for (const auto& [cut, partsReached] : {std::pair{5, 0}, {20, 1}, {5000, 3}}) {
    for (bool hashing : {true, false}) {
      ThrowingSource source(file.substr(0, std::size_t(cut)));
      std::istream input(&source);
      std::stringbuf tee;
      PartStream stream(input, hashing, hashing ? &tee : nullptr);
      stream.wanted = {partPackage, partText24, partFileTree, partNote};
      int parts = 0;
      while (stream.next() != -1) {
        ++parts;
        char block[4096];
        stream.rdbuf()->sgetn(block, sizeof block);
        stream.read(block, 2);
        stream.clear();
        stream.unget();
        stream.get();
      }
      EXPECT_EQ(parts, partsReached) << "cut at " << cut << ", hashing " << hashing;
    }
  }
}

TEST(PartStreamTee, ReceivesAByteExactCopy) {
  const std::string file = fileOf(sampleBody());
  for (bool hashing : {true, false}) {
    std::stringbuf tee;
    Walk walk(file, hashing, &tee);
    walk.stream.wanted = {partText24, partFileTree};
    ASSERT_EQ(walk.stream.next(), partText24);  // the header before it is passed over
    walk.stream.get();
    walk.stream.unget();  // a put-back byte is copied once
    char buffer[5];
    walk.stream.read(buffer, 5);
    ASSERT_EQ(walk.stream.next(), partFileTree);
    walk.stream.seekg(4000);  // sought by reading
    EXPECT_EQ(walk.stream.next(), -1);
    EXPECT_EQ(tee.str(), file) << "hashing " << hashing;
  }
}

}  // namespace
