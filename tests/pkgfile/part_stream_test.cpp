// The part stream: the walk over wanted parts, bounded payload reads, the
// digest windows of the running SHA-1, and who skips by seeking. The fuzz
// target checks what it hands out against the input under every read pattern.
#include <gtest/gtest.h>

#include <istream>
#include <sstream>
#include <string>

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

std::string fileOf(const std::string& body) {
  return encodeFileHeader(pkgwriter::standardMagic, std::uint32_t(body.size())) + body;
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

// An in-memory source that counts the seeks it grants, or refuses them as a
// pipe does.
struct Source : std::stringbuf {
  Source(std::string bytes, bool seekable)
      : std::stringbuf(std::move(bytes), std::ios_base::in), seekable(seekable) {}
  // Like a file, whatever the open mode asked (a string buffer opened for
  // input refuses a relative seek asked for "in | out").
  pos_type seekoff(off_type offset, std::ios_base::seekdir way, std::ios_base::openmode) override {
    if (!seekable) return pos_type(off_type(-1));
    const pos_type at = std::stringbuf::seekoff(offset, way, std::ios_base::in);
    if (at != pos_type(off_type(-1))) ++seeks;
    return at;
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode mode) override {
    return seekoff(off_type(position), std::ios_base::beg, mode);
  }
  bool seekable;
  int seeks = 0;
};

struct Walk {
  explicit Walk(std::string bytes, bool hashing = true, std::streambuf* tee = nullptr,
                bool seekable = true)
      : source(std::move(bytes), seekable), input(&source), stream(input, hashing, tee) {}
  Source source;
  std::istream input;
  PartStream stream;
};

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

// Passing over and seeking by the source only when nothing needs the bytes;
// reading instead when the source refuses to seek.
TEST(PartStreamSeek, SourceSeeksOnlyWhenNothingNeedsTheBytes) {
  const std::string file = fileOf(sampleBody());
  Walk plain(file, false), hashed(file, true), pipe(file, false, nullptr, false);
  for (Walk* walk : {&plain, &hashed, &pipe}) {
    walk->stream.wanted = {partFileTree, partNote};
    ASSERT_EQ(walk->stream.next(), partFileTree);
    ASSERT_TRUE(walk->stream.seekg(6000));
    EXPECT_EQ(walk->stream.get(), (unsigned char)treePayload[6000]);
    ASSERT_EQ(walk->stream.next(), partNote);
    EXPECT_EQ(walk->stream.get(), 'n');
  }
  EXPECT_GT(plain.source.seeks, 0);
  EXPECT_EQ(hashed.source.seeks, 0);
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

}  // namespace
