#include <gtest/gtest.h>

#include <cmath>

#include "sources/Mp3Stream.h"
#include "sources/MusicDataMP3.h"
#include "sources/SourceFactory.h"
#include "tests/fixtures/SameElements.h"
#include "tests/sources/Mp3TestSupport.h"

namespace {

using fixtures::Bytes;
using fixtures::WavFormat;
using namespace mp3test;
using sourcetest::ReadToEnd;

TrackInfo InfoOf(CMusicData& source) {
  TrackInfo info;
  EXPECT_EQ(source.GetTrackInfo(0, &info), kMusicOk);
  return info;
}

// The first and last sample frame whose largest channel value exceeds `level`.
std::pair<std::size_t, std::size_t> LoudSpan(const std::vector<std::int16_t>& samples, int channels,
                                             int level) {
  std::size_t first = SIZE_MAX, last = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    if (std::abs(static_cast<int>(samples[i])) > level) {
      first = std::min(first, i / channels);
      last = i / channels;
    }
  }
  return {first, last};
}

TEST(Mp3Decoding, DeliversTheSourceSamplesExactlyInLengthAndAligned) {
  fixtures::TempDir dir;
  const struct {
    const char* name;
    WavFormat format;
    std::vector<std::string> args;
    double minCorrelation;
  } cases[] = {
      {"cbr", kCdStereo, {"-b", "128"}, 0.999},
      {"vbr", kCdStereo, {"-V", "2"}, 0.999},
      {"mpeg2-mono", {1, 1, 22050, 16}, {"-b", "64"}, 0.99},
      {"mpeg2-stereo", {1, 2, 22050, 16}, {"-b", "64"}, 0.99},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const WavFormat& f = c.format;
    const auto file =
        Encode(dir, c.name, f,
               fixtures::TestMusic(f.sampleRate, f.channels, 2 * f.sampleRate + 123), c.args);
    auto source = CreateSourceForPath(platform::FromUtf8(file.mp3Path), nullptr);
    ASSERT_TRUE(source);
    ASSERT_EQ(source->Open(Params(file.mp3Path)), kMusicOk);
    const TrackInfo info = InfoOf(*source);
    EXPECT_EQ(info.type, kSourceTypeMp3);
    EXPECT_EQ(info.formatName, L"MP3");
    EXPECT_EQ(info.totalBytes, file.pcm.size());
    EXPECT_EQ(info.format.wFormatTag, 1);
    EXPECT_EQ(info.format.nChannels, f.channels);
    EXPECT_EQ(info.format.nSamplesPerSec, f.sampleRate);
    EXPECT_EQ(info.format.nBlockAlign, f.BlockAlign());
    EXPECT_EQ(info.format.nAvgBytesPerSec, f.AvgBytesPerSec());
    EXPECT_EQ(info.format.wBitsPerSample, 16);
    EXPECT_EQ(info.length, 151u);  // 2 s and 123 samples: 150 frames and a part
    EXPECT_EQ(info.end, 150u);

    ASSERT_EQ(source->SetPlayRange(info.start, info.end, 0), kMusicOk);
    const auto delivered = ReadToEnd(*source);
    EXPECT_EQ(delivered.endCode, kMusicEndOfRange);
    ASSERT_EQ(delivered.bytes.size(), file.pcm.size());
    EXPECT_EQ(delivered.chunkSizes.front(), f.AvgBytesPerSec()) << "a second per read";
    const auto original = Samples(file.pcm), decoded = Samples(delivered.bytes);
    EXPECT_EQ(BestLag(original, decoded, f.channels, 1200), 0);
    EXPECT_GT(Correlation(original, decoded, f.channels, 0), c.minCorrelation);
  }
}

TEST(Mp3Decoding, WithoutEncoderDataOnlyTheDecoderDelayIsTrimmed) {
  fixtures::TempDir dir;
  const auto file =
      Encode(dir, "plain", kCdStereo, fixtures::TestMusic(44100, 2, 60000), {"-t", "-b", "128"});
  // Gapless off, or on with a threshold too low to estimate anything.
  for (const bool gapless : {false, true}) {
    SCOPED_TRACE(gapless);
    CMusicDataMP3 source;
    ASSERT_EQ(source.Open(Params(file.mp3Path, gapless, -96.0)), kMusicOk);
    const std::uint32_t frames = InfoOf(source).totalBytes / 4 / 1152;
    EXPECT_EQ(InfoOf(source).totalBytes, frames * 1152 * 4);
    const auto delivered = ReadToEnd(source);
    EXPECT_EQ(delivered.bytes.size(), (frames * 1152 - 529) * 4);
    EXPECT_EQ(BestLag(Samples(file.pcm), Samples(delivered.bytes), 2, 1200), 576)
        << "the encoder's delay stays in front";
  }
}

TEST(Mp3Decoding, SilenceAmplitudeFollowsTheThreshold) {
  const struct {
    double db;
    int amplitude;
  } cases[] = {{-45.0, 184}, {0.0, 32767}, {6.0, 32767}, {-90.0, 1},
               {-90.4, 0},   {-96.0, 0},   {-120.0, 0},  {NAN, 0}};
  for (const auto& c : cases)
    EXPECT_EQ(SilenceAmplitude(c.db), c.amplitude) << c.db;
}

TEST(Mp3Decoding, GaplessEstimatesDelayAndPaddingFromSilence) {
  fixtures::TempDir dir;
  const std::size_t silence = 22050, tone = 44100;
  const auto file =
      Encode(dir, "tone", kCdStereo, fixtures::ToneBetweenSilences(44100, 2, silence, tone),
             {"-t", "-b", "192"});
  CMusicDataMP3 listed, played;
  ASSERT_EQ(listed.Open(Params(file.mp3Path, true, -96.0)), kMusicOk);
  ASSERT_EQ(played.Open(Params(file.mp3Path, true, -45.0)), kMusicOk);
  const std::uint32_t untrimmed = InfoOf(listed).totalBytes / 4;
  const std::uint32_t trimmed = InfoOf(played).totalBytes / 4;
  EXPECT_GT(untrimmed, 2 * silence + tone);

  const auto delivered = ReadToEnd(played);
  EXPECT_EQ(delivered.endCode, kMusicEndOfRange);
  ASSERT_EQ(delivered.bytes.size(), std::size_t{trimmed} * 4);
  // The estimate keeps the decoder delay's worth of silence in front and cuts
  // the tail right after the last sample above the threshold.
  const auto [first, last] = LoudSpan(Samples(delivered.bytes), 2, 184);
  EXPECT_GE(first, 529u - 64);
  EXPECT_LE(first, 529u);
  EXPECT_EQ(last, trimmed - 1u);
  EXPECT_GE(trimmed, tone + 529 - 64);
  EXPECT_LE(trimmed, tone + 529 + 64);
}

class Mp3PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = Encode(dir_, "music", kCdStereo, fixtures::TestMusic(44100, 2, 3 * 44100 + 5000),
                   {"-V", "2"});
    ASSERT_EQ(source_.Open(Params(file_.mp3Path)), kMusicOk);
    whole_ = ReadToEnd(source_).bytes;
    ASSERT_EQ(whole_.size(), file_.pcm.size());
  }
  Bytes Whole(std::size_t fromSample, std::size_t samples) const {
    return {whole_.begin() + fromSample * 4, whole_.begin() + (fromSample + samples) * 4};
  }

  fixtures::TempDir dir_;
  EncodedFile file_;
  CMusicDataMP3 source_;
  Bytes whole_;
};

TEST_F(Mp3PlaybackTest, ASeekContinuesExactlyAsTheWholeDecode) {
  const std::size_t total = whole_.size() / 4;
  const struct {
    std::uint32_t first, last, offset;
  } ranges[] = {{0, 230, 0},  {1, 230, 0},    {37, 230, 0},
                {75, 120, 4}, {150, 230, 80}, {229, 230, 0}};
  for (const auto& r : ranges) {
    SCOPED_TRACE(testing::Message() << r.first << "+" << r.offset);
    ASSERT_EQ(source_.SetPlayRange(r.first, r.last, r.offset), kMusicOk);
    const auto delivered = ReadToEnd(source_);
    const std::size_t from = (r.first + r.offset) * 588;
    const std::size_t to = std::min<std::size_t>((r.last + 1) * 588, total);
    EXPECT_TRUE(fixtures::SameElements(delivered.bytes, Whole(from, to - from)));
  }
}

TEST_F(Mp3PlaybackTest, RangesEndWhereTheyShould) {
  // A range that ends in the middle of its second second.
  ASSERT_EQ(source_.SetPlayRange(0, 100, 0), kMusicOk);
  auto delivered = ReadToEnd(source_);
  EXPECT_EQ(delivered.chunkSizes, (std::vector<std::uint32_t>{44100 * 4, (101 * 588 - 44100) * 4}));
  EXPECT_EQ(delivered.endCode, kMusicEndOfRange);
  void* data = &data;
  std::uint32_t size = 7;
  EXPECT_EQ(source_.Read(&data, &size), kMusicEndOfRange);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);

  // A start on the last frame delivers that frame; a start past it nothing.
  ASSERT_EQ(source_.SetPlayRange(10, 10, 0), kMusicOk);
  delivered = ReadToEnd(source_);
  EXPECT_EQ(delivered.bytes, Whole(10 * 588, 588));
  ASSERT_EQ(source_.SetPlayRange(0, 99, 150), kMusicOk);
  EXPECT_EQ(ReadToEnd(source_).chunkSizes.size(), 0u);
  // A start beyond the end of the track is the end of the range, not an error.
  ASSERT_EQ(source_.SetPlayRange(100000, 100010, 0), kMusicOk);
  delivered = ReadToEnd(source_);
  EXPECT_EQ(delivered.endCode, kMusicEndOfRange);
  EXPECT_TRUE(delivered.bytes.empty());
}

TEST(Mp3Source, CallsOutOfOrderAndBadArguments) {
  CMusicDataMP3 source;
  void* data = nullptr;
  std::uint32_t size = 0;
  EXPECT_EQ(source.Read(&data, &size), kMusicErrOpen);
  EXPECT_EQ(source.SetPlayRange(0, 10, 0), kMusicErrOpen);
  EXPECT_EQ(source.Read(nullptr, &size), kMusicErrParam);
  EXPECT_EQ(source.ReadAll(&data, &size), kMusicErrParam);
  std::int32_t count = 0;
  EXPECT_EQ(source.GetTrackCount(&count), kMusicOk);
  EXPECT_EQ(count, 1);
  TrackInfo info;
  EXPECT_EQ(source.GetTrackInfo(1, &info), kMusicErrParam);
  const FileTypeInfo* type = source.GetFileType();
  ASSERT_NE(type, nullptr);
  EXPECT_STREQ(type->description, L"MP3 File");
  EXPECT_STREQ(type->extension, L"mp3");
  EXPECT_EQ(CreateSourceForType(kSourceTypeMp3, L"x.mp3", nullptr) != nullptr, true);
}

}  // namespace
