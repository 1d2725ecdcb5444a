#include "sources/SmartFileReader.h"

#include <gtest/gtest.h>

#include "platform/TextConv.h"
#include "tests/fixtures/WavWriter.h"

namespace {

using fixtures::Bytes;

constexpr std::uint32_t kMiB = CSmartFileReader::kWindowBytes;

class SmartFileReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = fixtures::AudioPattern(3 * kMiB + 100, 1);
    fixtures::WriteFile(path_, original_);
    ASSERT_TRUE(reader_.Open(platform::FromUtf8(path_)));
  }
  Bytes Got(std::uint64_t offset, std::uint32_t length) {
    const auto bytes = reader_.FetchAt(offset, length);
    return {bytes.begin(), bytes.end()};
  }
  static Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
    return {bytes.begin() + offset, bytes.begin() + offset + length};
  }

  fixtures::TempDir dir_;
  std::string path_ = dir_.File("data.bin");
  Bytes original_;
  CSmartFileReader reader_;
};

TEST_F(SmartFileReaderTest, ServesFromTheWindowAndRefillsExactlyAtTheRequest) {
  EXPECT_EQ(reader_.Size(), original_.size());
  EXPECT_EQ(Got(1000, 64), Slice(original_, 1000, 64));

  // New bytes on disk show only where the window has to be refilled.
  const Bytes changed = fixtures::AudioPattern(original_.size(), 2);
  fixtures::WriteFile(path_, changed);
  EXPECT_EQ(Got(5000, 64), Slice(original_, 5000, 64)) << "served from the window";
  EXPECT_EQ(Got(1000 + kMiB - 40, 64), Slice(changed, 1000 + kMiB - 40, 64))
      << "a request over the window's end reads from its own offset";
  EXPECT_EQ(Got(1000 + kMiB - 40 + 200, 64), Slice(changed, 1000 + kMiB - 40 + 200, 64));
}

TEST_F(SmartFileReaderTest, RequestsAreCutToTheWindowAndToTheFile) {
  const std::uint64_t size = original_.size();
  const struct {
    std::uint64_t offset;
    std::uint32_t length;
    std::uint32_t available;
  } cases[] = {
      {0, 2 * kMiB, kMiB}, {100, 0xFFFFFFFF, kMiB}, {size - 10, 64, 10},
      {size, 64, 0},       {size + 5000, 64, 0},    {0xFFFFFFFFFFFFFFF0ull, 64, 0},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(reader_.Request(c.offset, c.length));
    EXPECT_EQ(reader_.Fetch(), c.available) << c.offset << " " << c.length;
    if (c.available > 0) {
      EXPECT_EQ(Bytes(reader_.Data(), reader_.Data() + c.available),
                Slice(original_, c.offset, c.available));
    }
  }
}

TEST_F(SmartFileReaderTest, ClosedOrMissingFilesServeNothing) {
  reader_.Close();
  EXPECT_FALSE(reader_.IsOpen());
  EXPECT_FALSE(reader_.Request(0, 10));
  EXPECT_EQ(reader_.Fetch(), 0u);
  EXPECT_EQ(reader_.Size(), 0u);

  CSmartFileReader missing;
  EXPECT_FALSE(missing.Open(platform::FromUtf8(dir_.File("none.bin"))));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_TRUE(missing.FetchAt(0, 10).empty());
}

}  // namespace
