#include <gtest/gtest.h>

#include "sources/MusicDataMP3.h"
#include "tests/sources/Mp3TestSupport.h"

namespace {

using fixtures::Bytes;
using fixtures::WavFormat;
using namespace mp3test;
using sourcetest::ReadToEnd;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Frames of one repeated header and a body of zeros.
Bytes RepeatedFrames(std::uint32_t header, std::size_t frameBytes, int count) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    for (int shift = 24; shift >= 0; shift -= 8)
      out.push_back(static_cast<std::uint8_t>(header >> shift));
    out.resize(out.size() + frameBytes - 4, 0);
  }
  return out;
}

// The offset of frame `n` of a plain CBR stream starting at `start`.
std::size_t FrameOffset(const Bytes& mp3, std::size_t start, int n) {
  std::size_t at = start;
  for (int i = 0; i < n; ++i)
    at += 417 + ((mp3[at + 2] >> 1) & 1);
  return at;
}

class Mp3BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto music = fixtures::TestMusic(44100, 2, 3 * 44100);
    lame_ = fixtures::ReadFile(Encode(dir_, "lame", kCdStereo, music, {"-b", "128"}).mp3Path);
    plain_ =
        fixtures::ReadFile(Encode(dir_, "plain", kCdStereo, music, {"-t", "-b", "128"}).mp3Path);
  }
  std::int32_t Open(const Bytes& bytes, CMusicDataMP3& source) {
    const std::string path = dir_.File("bad.mp3");
    fixtures::WriteFile(path, bytes);
    return source.Open(Params(path, true, -45.0));
  }

  fixtures::TempDir dir_;
  Bytes lame_, plain_;
};

TEST_F(Mp3BadInputTest, FilesWithoutAStreamAreRefused) {
  const Bytes tagOnly = fixtures::Id3v2Tag({Text("TIT2", "Only")}, {.padding = 2000});
  const Bytes v1 = fixtures::Id3v1Tag("a", "b", "c", true);
  const std::string wavPath = dir_.File("really.wav");
  fixtures::WriteWav(wavPath, kCdStereo, fixtures::TestMusic(44100, 2, 30000));
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"empty file", {}},
      {"only an ID3v2 tag", tagOnly},
      {"only tags", Concat({tagOnly, v1})},
      {"only an ID3v1 tag", v1},
      {"a WAV file", fixtures::ReadFile(wavPath)},
      {"free-format frames", RepeatedFrames(0xFFFB0064, 400, 20)},
      {"reserved emphasis", RepeatedFrames(0xFFFB9066, 417, 20)},
      {"reserved layer", RepeatedFrames(0xFFF99064, 417, 20)},
      {"a single frame", Bytes(plain_.begin(), plain_.begin() + 417)},
  };
  for (const auto& c : cases) {
    CMusicDataMP3 source;
    EXPECT_EQ(Open(c.file, source), kMusicErrOpen) << c.name;
  }
  CMusicDataMP3 source;
  EXPECT_EQ(source.Open(Params(dir_.File("missing.mp3"))), kMusicErrOpen);
}

// Damage that the analysis cannot see ends the track early or fails the read
// that meets it; nothing reads out of bounds and every read terminates.
TEST_F(Mp3BadInputTest, DamagedStreamsEndOrFailWithTheirCodes) {
  const std::size_t lameStart = 417;  // behind the Info frame
  Bytes liar = plain_;
  liar[FrameOffset(plain_, 0, 40) + 2] = 0xE0;  // frame 40 claims 320 kbit/s
  Bytes broken = lame_;
  const std::size_t middle = FrameOffset(lame_, lameStart, 60);
  std::fill(broken.begin() + middle, broken.begin() + middle + 3000, 0);
  Bytes truncated(lame_.begin(), lame_.begin() + FrameOffset(lame_, lameStart, 80) + 100);

  const struct {
    const char* name;
    Bytes file;
    std::int32_t endCode;
    std::size_t maxSamples;
  } cases[] = {
      {"a frame lying about its length, no frame count", liar, kMusicEndOfRange, 41 * 1152},
      {"a broken stream in the middle", broken, kMusicErrRead, 60 * 1152},
      {"a stream cut inside a frame", truncated, kMusicEndOfRange, 80 * 1152},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CMusicDataMP3 source;
    ASSERT_EQ(Open(c.file, source), kMusicOk);
    const auto delivered = ReadToEnd(source);
    EXPECT_EQ(delivered.endCode, c.endCode);
    EXPECT_LE(delivered.bytes.size(), c.maxSamples * 4);
    EXPECT_GT(delivered.bytes.size(), 0u);
  }
}

TEST_F(Mp3BadInputTest, AFailedStreamStaysFailed) {
  Bytes broken = lame_;
  const std::size_t middle = FrameOffset(lame_, 417, 60);
  std::fill(broken.begin() + middle, broken.begin() + middle + 3000, 0);
  CMusicDataMP3 source;
  ASSERT_EQ(Open(broken, source), kMusicOk);
  SourceBuffer chunk;
  EXPECT_EQ(ReadChunk(source, chunk), kMusicOk);
  EXPECT_EQ(ReadChunk(source, chunk), kMusicErrRead) << "the read that meets the break";
  EXPECT_EQ(chunk.data(), nullptr);
  EXPECT_EQ(ReadChunk(source, chunk), kMusicErrRead);
  ASSERT_EQ(source.SetPlayRange(0, 10, 0), kMusicOk);
  EXPECT_EQ(ReadChunk(source, chunk), kMusicErrRead) << "even from the start";
}

TEST_F(Mp3BadInputTest, Mpeg25StreamsDecode) {
  const WavFormat format{1, 1, 8000, 16};
  const auto file = Encode(dir_, "low", format, fixtures::TestMusic(8000, 1, 20000), {"-b", "16"});
  CMusicDataMP3 source;
  ASSERT_EQ(source.Open(Params(file.mp3Path)), kMusicOk);
  TrackInfo info;
  ASSERT_EQ(source.GetTrackInfo(0, &info), kMusicOk);
  EXPECT_EQ(info.format.nSamplesPerSec, 8000u);
  const auto delivered = ReadToEnd(source);
  EXPECT_EQ(delivered.endCode, kMusicEndOfRange);
  // No encoder data: only the decoder's delay is trimmed.
  EXPECT_EQ(delivered.bytes.size(), info.totalBytes - 529 * 2);
}

}  // namespace
