#include "pkgfile/inflate_stream.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "pkgfile/part_stream.h"
#include "support/scratch_dir.h"

namespace {

using testing_support::readFile;

std::string zlibData(const std::string& name) { return readFile(std::string(TEST_DATA_DIR) + "/zlib/" + name); }

// Everything the stream hands out, read in pieces of the given size.
std::string drain(std::istream& in, std::size_t piece) {
  std::string out;
  std::vector<char> buffer(piece);
  while (in.read(buffer.data(), static_cast<std::streamsize>(piece)) || in.gcount() > 0)
    out.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
  return out;
}

TEST(InflateStream, DeliversTheDecompressedBytesWhateverTheReadPattern) {
  const std::string expected = zlibData("text.bin");
  for (std::size_t piece : {std::size_t(1), std::size_t(100), std::size_t(4096), std::size_t(70000)}) {
    std::istringstream source(zlibData("text.z"));
    InflateStream in(source);
    EXPECT_EQ(drain(in, piece), expected) << "pieces of " << piece;
    EXPECT_TRUE(in.eof());
    EXPECT_EQ(in.buffer().produced(), expected.size());
  }
}

TEST(InflateStream, StreamEndingOnAnInputChunkBoundary) {
  const std::string compressed = zlibData("boundary.z");
  ASSERT_EQ(compressed.size() % InflateBuffer::inputSize, 0u);
  const std::string expected = zlibData("boundary.bin");
  std::istringstream source(compressed);
  InflateStream in(source);
  std::string got(expected.size(), '\0');
  ASSERT_TRUE(in.read(got.data(), static_cast<std::streamsize>(got.size())));
  EXPECT_EQ(got, expected);
  EXPECT_EQ(in.get(), std::char_traits<char>::eof());
  EXPECT_TRUE(in.eof());
}

TEST(InflateStream, InputChunkWithoutOutputIsFollowedByTheNextChunk) {
  // The first 4096 compressed bytes hold only the header and empty blocks,
  // and the next chunk starts inside an empty block.
  const std::string expected = zlibData("nooutput.bin");
  std::istringstream source(zlibData("nooutput.z"));
  InflateStream in(source);
  EXPECT_EQ(in.get(), static_cast<unsigned char>(expected[0]));
  EXPECT_EQ(drain(in, 512), expected.substr(1));
}

TEST(InflateStream, PutBackWorksAcrossRefills) {
  const std::string expected = zlibData("text.bin");
  std::istringstream source(zlibData("text.z"));
  InflateStream in(source);
  std::streambuf* buffer = in.rdbuf();
  std::size_t at = 0;
  int refills = 0;
  for (;;) {
    // Use up the get area, so that the next read refills it.
    while (buffer->in_avail() > 0) {
      ASSERT_EQ(in.get(), static_cast<unsigned char>(expected[at]));
      ++at;
    }
    if (at + 1 >= expected.size()) break;
    if (at == 0) {  // nothing decompressed yet: nothing to put back
      ASSERT_EQ(in.get(), static_cast<unsigned char>(expected[at++]));
      continue;
    }
    // Peeking refills; the byte read just before the refill can be put back.
    ASSERT_EQ(in.peek(), static_cast<unsigned char>(expected[at]));
    ++refills;
    ASSERT_TRUE(in.unget()) << "at " << at;
    ASSERT_EQ(in.get(), static_cast<unsigned char>(expected[at - 1]));
    // Same after a read that triggers the refill itself: two bytes back.
    ASSERT_EQ(in.get(), static_cast<unsigned char>(expected[at]));
    ASSERT_TRUE(in.unget());
    ASSERT_TRUE(in.unget());
    ASSERT_EQ(in.get(), static_cast<unsigned char>(expected[at - 1]));
    ASSERT_EQ(in.get(), static_cast<unsigned char>(expected[at]));
    ++at;
  }
  EXPECT_GT(refills, 10);
}

TEST(InflateStream, ReadingPastTheEndGivesEndOfFile) {
  const std::string expected = zlibData("text.bin");
  for (const std::string& trailer : {std::string(), std::string("trailing bytes in the part")}) {
    std::istringstream source(zlibData("text.z") + trailer);
    InflateStream in(source);
    EXPECT_EQ(drain(in, 4096), expected);
    in.clear();
    EXPECT_EQ(in.get(), std::char_traits<char>::eof()) << "trailer '" << trailer << "'";
    in.clear();
    char byte;
    EXPECT_FALSE(in.read(&byte, 1));
    EXPECT_TRUE(in.eof());
  }
}

TEST(InflateStream, SourcesWithoutDataEndAtOnce) {
  // Empty source, a stream of nothing, corrupt header, preset dictionary.
  std::string badHeader = zlibData("text.z");
  badHeader[1] = static_cast<char>(badHeader[1] ^ 1);  // header check fails
  for (const std::string& compressed : {std::string(), zlibData("empty.z"), badHeader, zlibData("dict.z")}) {
    std::istringstream source(compressed);
    InflateStream in(source);
    EXPECT_EQ(in.get(), std::char_traits<char>::eof()) << compressed.size() << " bytes";
    EXPECT_TRUE(in.eof());
    EXPECT_TRUE(in.fail());
  }
}

TEST(InflateStream, CorruptOrTruncatedDataEndsTheStreamEarly) {
  const std::string expected = zlibData("text.bin");
  const std::string compressed = zlibData("text.z");

  // Truncated: a correct prefix, then end-of-file.
  std::istringstream truncated(compressed.substr(0, compressed.size() / 2));
  InflateStream cut(truncated);
  const std::string prefix = drain(cut, 1000);
  EXPECT_GT(prefix.size(), 0u);
  EXPECT_LT(prefix.size(), expected.size());
  EXPECT_EQ(prefix, expected.substr(0, prefix.size()));
  EXPECT_TRUE(cut.eof());

  // The first block's type made invalid (both type bits set).
  std::string badBlock = compressed;
  badBlock[2] = static_cast<char>(badBlock[2] | 0x06);
  std::istringstream corrupt(badBlock);
  InflateStream broken(corrupt);
  EXPECT_EQ(drain(broken, 100), "");
  EXPECT_TRUE(broken.eof());
}

TEST(InflateStream, SeekingSkipsForwardOnly) {
  const std::string expected = zlibData("text.bin");
  {
    std::istringstream source(zlibData("text.z"));
    InflateStream in(source);
    ASSERT_TRUE(in.seekg(5000, std::ios_base::cur));
    EXPECT_EQ(in.get(), static_cast<unsigned char>(expected[5000]));
    // Relative skips count from the reading position, across many chunks.
    ASSERT_TRUE(in.seekg(30000, std::ios_base::cur));
    EXPECT_EQ(in.get(), static_cast<unsigned char>(expected[35001]));
    // The reported position is what has been produced so far.
    EXPECT_EQ(static_cast<std::uint32_t>(in.tellg()), in.buffer().produced());
    EXPECT_GE(in.buffer().produced(), 35002u);
    // Backwards and from the end are refused.
    EXPECT_FALSE(in.seekg(-1, std::ios_base::cur));
    in.clear();
    EXPECT_FALSE(in.seekg(0, std::ios_base::end));
    in.clear();
    EXPECT_FALSE(in.seekg(0));
  }
  {
    // An absolute position on a fresh stream skips that many bytes.
    std::istringstream source(zlibData("text.z"));
    InflateStream in(source);
    ASSERT_TRUE(in.seekg(12345));
    EXPECT_EQ(in.get(), static_cast<unsigned char>(expected[12345]));
  }
  {
    // Skipping more than remains fails the stream.
    std::istringstream source(zlibData("text.z"));
    InflateStream in(source);
    ASSERT_TRUE(in.seekg(static_cast<std::streamoff>(expected.size()) - 10, std::ios_base::cur));
    EXPECT_FALSE(in.seekg(11, std::ios_base::cur));
    EXPECT_TRUE(in.fail());
  }
  {
    // Exactly up to the end is fine; the next read is end-of-file.
    std::istringstream source(zlibData("text.z"));
    InflateStream in(source);
    ASSERT_TRUE(in.seekg(static_cast<std::streamoff>(expected.size()), std::ios_base::cur));
    EXPECT_EQ(in.get(), std::char_traits<char>::eof());
  }
}

TEST(InflateStream, ReadsTheFileTreePartOfAPackageAndNothingBeyondIt) {
  const std::string compressed = zlibData("text.z");
  auto put = [](std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  // File header, the compressed tree part, then a 68-byte trailer part.
  std::string file;
  put(file, packageMagic, 4);
  put(file, static_cast<std::uint32_t>(6 + compressed.size() + 6 + 68), 4);
  put(file, partFileTree, 2);
  put(file, static_cast<std::uint32_t>(compressed.size()), 4);
  file += compressed;
  put(file, partSignature, 2);
  put(file, 68, 4);
  file += std::string(68, 'S');

  for (bool hashing : {false, true}) {
    std::istringstream input(file);
    PartStream package(input, hashing);
    package.wanted = {partFileTree, partSignature};
    ASSERT_EQ(package.next(), partFileTree);
    {
      InflateStream tree(package);
      EXPECT_EQ(drain(tree, 4096), zlibData("text.bin"));
    }
    // The inflater took the whole part and no byte of the next one.
    ASSERT_EQ(package.next(), partSignature) << "hashing " << hashing;
    char trailer[68];
    ASSERT_TRUE(package.read(trailer, sizeof trailer));
    EXPECT_EQ(std::string(trailer, sizeof trailer), std::string(68, 'S'));
  }
}

}  // namespace
