#include "pkgfile/inflate_stream.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/scratch_dir.h"

namespace {

constexpr int endOfFile = std::char_traits<char>::eof();

std::string zlibData(const std::string& name) { return testing_support::dataFile("zlib/" + name); }
const std::string text = zlibData("text.bin");

struct Inflated {
  explicit Inflated(const std::string& compressed = zlibData("text.z"))
      : source(compressed), in(source) {}
  std::istringstream source;
  InflateStream in;
};

int byteOf(const std::string& s, std::size_t at) { return static_cast<unsigned char>(s[at]); }

std::string drain(std::istream& in, std::size_t piece) {
  std::string out;
  std::vector<char> buffer(piece);
  while (in.read(buffer.data(), static_cast<std::streamsize>(piece)) || in.gcount() > 0)
    out.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
  return out;
}

TEST(InflateStream, ChunkBoundaries) {
  const std::string compressed = zlibData("boundary.z");
  ASSERT_EQ(compressed.size() % InflateBuffer::inputSize, 0u);
  Inflated boundary(compressed);
  EXPECT_EQ(drain(boundary.in, 4096), zlibData("boundary.bin"));

  // The first 4096 compressed bytes hold only the header and empty blocks,
  // and the next chunk starts inside an empty block.
  const std::string late = zlibData("nooutput.bin");
  Inflated noOutput(zlibData("nooutput.z"));
  EXPECT_EQ(noOutput.in.get(), byteOf(late, 0));
  EXPECT_EQ(drain(noOutput.in, 512), late.substr(1));
}

TEST(InflateStream, PutBackWorksAcrossRefills) {
  Inflated z;
  std::istream& in = z.in;
  std::size_t at = 0;
  int refills = 0;
  for (;;) {
    while (in.rdbuf()->in_avail() > 0) ASSERT_EQ(in.get(), byteOf(text, at++));
    if (at + 1 >= text.size()) break;
    if (at == 0) {  // nothing decompressed yet: nothing to put back
      ASSERT_EQ(in.get(), byteOf(text, at++));
      continue;
    }
    // Peeking refills; the byte read just before the refill can be put back.
    ASSERT_EQ(in.peek(), byteOf(text, at));
    ++refills;
    ASSERT_TRUE(in.unget()) << "at " << at;
    ASSERT_EQ(in.get(), byteOf(text, at - 1));
    // Same after a read that triggers the refill itself: two bytes back.
    ASSERT_EQ(in.get(), byteOf(text, at));
    ASSERT_TRUE(in.unget());
    ASSERT_TRUE(in.unget());
    ASSERT_EQ(in.get(), byteOf(text, at - 1));
    ASSERT_EQ(in.get(), byteOf(text, at));
    ++at;
  }
  EXPECT_GT(refills, 10);
}

// Whatever the input, the stream hands out a correct prefix of the data (all
// of it when whole), then end-of-file, and never more.
TEST(InflateStream, EndsAtTheEndOfTheDataOrWhereItBreaks) {
  const std::string compressed = zlibData("text.z");
  std::string badHeader = compressed;
  badHeader[1] = static_cast<char>(badHeader[1] ^ 1);  // header check fails
  std::string badBlock = compressed;
  badBlock[2] = static_cast<char>(badBlock[2] | 0x06);  // invalid block type
  const struct {
    std::string bytes;
    bool whole;
  } cases[] = {{compressed, true},     {compressed + "trailing bytes in the part", true},
               {std::string(), false}, {zlibData("empty.z"), false},
               {badHeader, false},     {zlibData("dict.z"), false},  // needs a preset dictionary
               {badBlock, false},      {compressed.substr(0, compressed.size() / 2), false}};
  for (const auto& c : cases) {
    Inflated z(c.bytes);
    const std::string got = drain(z.in, 1000);
    EXPECT_EQ(got, text.substr(0, got.size())) << c.bytes.size() << " bytes";
    EXPECT_EQ(got.size() == text.size(), c.whole) << c.bytes.size() << " bytes";
    EXPECT_TRUE(z.in.eof());
    z.in.clear();
    EXPECT_EQ(z.in.get(), endOfFile);
  }
}

TEST(InflateStream, SeekingSkipsForwardOnly) {
  Inflated z;
  ASSERT_TRUE(z.in.seekg(5000, std::ios_base::cur));
  EXPECT_EQ(z.in.get(), byteOf(text, 5000));
  ASSERT_TRUE(z.in.seekg(30000, std::ios_base::cur));
  EXPECT_EQ(z.in.get(), byteOf(text, 35001));
  EXPECT_EQ(static_cast<std::uint32_t>(z.in.tellg()), z.in.buffer().produced());
  EXPECT_GE(z.in.buffer().produced(), 35002u);
  for (const auto& [offset, way] :
       {std::pair{-1L, std::ios_base::cur}, {0L, std::ios_base::end}, {0L, std::ios_base::beg}}) {
    EXPECT_FALSE(z.in.seekg(offset, way));
    z.in.clear();
  }

  Inflated absolute;
  ASSERT_TRUE(absolute.in.seekg(12345));
  EXPECT_EQ(absolute.in.get(), byteOf(text, 12345));

  const auto size = static_cast<std::streamoff>(text.size());
  Inflated toEnd, beyond;
  ASSERT_TRUE(toEnd.in.seekg(size, std::ios_base::cur));
  EXPECT_EQ(toEnd.in.get(), endOfFile);
  ASSERT_TRUE(beyond.in.seekg(size - 10, std::ios_base::cur));
  EXPECT_FALSE(beyond.in.seekg(11, std::ios_base::cur));
  EXPECT_TRUE(beyond.in.fail());
}

}  // namespace

// Only data that reach their end marker with a matching check are complete,
// however much of them was handed out.
TEST(InflateStream, CompleteOnlyAtAVerifiedEnd) {
  const std::string compressed = zlibData("text.z");
  std::string badCheck = compressed;
  badCheck.back() = static_cast<char>(badCheck.back() ^ 1);
  const struct {
    std::string bytes;
    bool complete;
  } cases[] = {{compressed, true},
               {zlibData("empty.z"), true},
               {compressed.substr(0, compressed.size() - 4), false},  // all the text, no check
               {badCheck, false}};
  for (const auto& c : cases) {
    Inflated z(c.bytes);
    drain(z.in, 1000);
    EXPECT_EQ(z.in.buffer().complete(), c.complete) << c.bytes.size() << " bytes";
  }
}
