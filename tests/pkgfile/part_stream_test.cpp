// The part stream: who skips by seeking, and read errors. What it hands out,
// its bounds and its digest windows are checked by the fuzz corpus replay.
#include <gtest/gtest.h>

#include <sstream>

#include "pkgfile/part_stream.h"
#include "pkgwriter/part_encoding.h"

namespace {

using pkgwriter::encodePart;

const std::string treePayload = [] {
  std::string out(10000, '\0');
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = char((i * 131 + (i >> 8)) & 0xFF);
  return out;
}();

const std::string sampleFile = [] {
  const std::string body =
      encodePart(partPackage, pkgwriter::encodeHeaderPayload("pkg", 0x01006600, 7)) +
      encodePart(partText24, "some text") + encodePart(partFileTree, treePayload) +
      encodePart(partNote, "note!");
  return pkgwriter::encodeFileHeader(pkgwriter::standardMagic, std::uint32_t(body.size())) + body;
}();

// An in-memory source that counts the seeks it grants (seeking as a file does,
// whatever the open mode), or refuses them as a pipe does.
struct Source : std::stringbuf {
  Source(std::string bytes, bool seekable)
      : std::stringbuf(std::move(bytes), std::ios_base::in), seekable(seekable) {}
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

TEST(PartStreamSeek, SourceSeeksOnlyWhenNothingNeedsTheBytes) {
  for (const auto& [hashing, seekable] : {std::pair{false, true}, {true, true}, {false, false}}) {
    Source source(sampleFile, seekable);
    std::istream input(&source);
    PartStream stream(input, hashing);
    stream.wanted = {partFileTree, partNote};
    ASSERT_EQ(stream.next(), partFileTree);
    ASSERT_TRUE(stream.seekg(6000));
    EXPECT_EQ(stream.get(), (unsigned char)treePayload[6000]);
    ASSERT_EQ(stream.next(), partNote);
    EXPECT_EQ(stream.get(), 'n');
    EXPECT_EQ(source.seeks > 0, seekable && !hashing) << hashing << seekable;
  }
}

TEST(PartStreamDigest, NoneForACutPayload) {
  for (bool hashing : {true, false}) {
    std::istringstream input(sampleFile.substr(0, sampleFile.size() - 3));
    PartStream stream(input, hashing);
    stream.wanted = {partPackage};
    ASSERT_EQ(stream.next(), partPackage);
    std::uint8_t digest[20];
    (void)stream.takeDigest(digest);
    EXPECT_EQ(stream.next(), -1);
    EXPECT_EQ(stream.takeDigest(digest), ReadResult::NotRead) << "hashing " << hashing;
  }
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
  for (const auto& [cut, partsReached] : {std::pair{5, 0}, {20, 1}, {5000, 3}}) {
    for (bool hashing : {true, false}) {
      ThrowingSource source(sampleFile.substr(0, std::size_t(cut)));
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
