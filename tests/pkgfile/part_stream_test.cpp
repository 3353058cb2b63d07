// The part stream: digests of cut payloads, and read errors. What it hands out,
// its bounds, its digest windows and when it seeks are checked by the fuzz
// corpus replay.
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
