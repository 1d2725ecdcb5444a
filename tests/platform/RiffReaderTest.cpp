#include "platform/RiffReader.h"

#include <gtest/gtest.h>

#include "platform/TextConv.h"
#include "tests/fixtures/WavWriter.h"

namespace {

using platform::FourCC;
using platform::RiffChunk;
using platform::RiffReader;
using platform::RiffSearch;

class RiffReaderTest : public ::testing::Test {
 protected:
  void Load(const fixtures::WavFile& file) {
    file.Write(dir_.File("f.riff"));
    ASSERT_TRUE(reader_.Open(platform::FromUtf8(dir_.File("f.riff"))));
  }
  fixtures::TempDir dir_;
  RiffReader reader_;
};

TEST_F(RiffReaderTest, FindsChunksSkippingOddSizesAndPadBytes) {
  Load(fixtures::WavFile()
           .Chunk("odd1", {1, 2, 3})
           .Chunk("LIST", {'I', 'N', 'F', 'O'})
           .Chunk("want", {7, 8}));
  RiffChunk riff;
  ASSERT_TRUE(reader_.Descend(riff, nullptr, RiffSearch::kFindRiff));
  EXPECT_EQ(riff.type, FourCC('W', 'A', 'V', 'E'));
  EXPECT_EQ(riff.dataOffset, 8u);

  const std::uint64_t first = reader_.Tell();
  RiffChunk chunk;
  chunk.id = FourCC('w', 'a', 'n', 't');
  ASSERT_TRUE(reader_.Descend(chunk, &riff, RiffSearch::kFindChunk));
  EXPECT_EQ(chunk.size, 2u);
  std::uint8_t bytes[2];
  EXPECT_EQ(reader_.Read(bytes, 2), 2);
  EXPECT_EQ(bytes[1], 8);

  reader_.Seek(first);
  ASSERT_TRUE(reader_.Descend(chunk, &riff, RiffSearch::kNext));
  EXPECT_EQ(chunk.id, FourCC('o', 'd', 'd', '1'));
  reader_.Ascend(chunk);  // over the pad byte of the 3-byte chunk
  ASSERT_TRUE(reader_.Descend(chunk, &riff, RiffSearch::kNext));
  EXPECT_EQ(chunk.id, FourCC('L', 'I', 'S', 'T'));
  EXPECT_EQ(chunk.type, FourCC('I', 'N', 'F', 'O'));
  EXPECT_EQ(reader_.Tell(), chunk.dataOffset + 4);
}

TEST_F(RiffReaderTest, SearchesStopAtTheParentAndTheFile) {
  // The RIFF chunk claims only its form type; "data" lies outside it.
  Load(fixtures::WavFile().Chunk("data", {1, 2}).RiffSize(4));
  RiffChunk riff;
  ASSERT_TRUE(reader_.Descend(riff, nullptr, RiffSearch::kFindRiff));
  RiffChunk chunk;
  chunk.id = FourCC('d', 'a', 't', 'a');
  EXPECT_FALSE(reader_.Descend(chunk, &riff, RiffSearch::kFindChunk));

  // A size that points past the end of the file ends the search there.
  Load(fixtures::WavFile().Chunk("big ", {1, 2}, 0x7FFFFFF0).Chunk("data", {1, 2}));
  ASSERT_TRUE(reader_.Descend(riff, nullptr, RiffSearch::kFindRiff));
  EXPECT_FALSE(reader_.Descend(chunk, &riff, RiffSearch::kFindChunk));
}

// The first bytes are kept at opening; reads inside them, across their end
// and past it give the file's bytes alike, and nothing once closed.
TEST_F(RiffReaderTest, ReadsTheSameBytesInsideAndPastTheKeptHead) {
  fixtures::Bytes pattern(10000);
  for (std::size_t i = 0; i < pattern.size(); ++i)
    pattern[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  fixtures::WriteFile(dir_.File("f.riff"), pattern);
  ASSERT_TRUE(reader_.Open(platform::FromUtf8(dir_.File("f.riff"))));
  for (const std::uint64_t offset : {0u, 100u, 4090u, 4096u, 9990u}) {
    for (const std::size_t count : {1u, 6u, 16u, 5000u}) {
      SCOPED_TRACE(std::to_string(offset) + "+" + std::to_string(count));
      fixtures::Bytes bytes(count, 0xEE);
      reader_.Seek(offset);
      const std::size_t expected = std::min<std::size_t>(count, pattern.size() - offset);
      ASSERT_EQ(reader_.Read(bytes.data(), count), static_cast<std::int64_t>(expected));
      bytes.resize(expected);
      EXPECT_EQ(bytes,
                fixtures::Bytes(pattern.begin() + static_cast<std::ptrdiff_t>(offset),
                                pattern.begin() + static_cast<std::ptrdiff_t>(offset + expected)));
      EXPECT_EQ(reader_.Tell(), offset + expected);
    }
  }
  reader_.Close();
  std::uint8_t byte = 0;
  reader_.Seek(0);
  EXPECT_LT(reader_.Read(&byte, 1), 0);
}

}  // namespace
