#include <gtest/gtest.h>

#include "tests/fixtures/SameElements.h"
#include "tests/fixtures/WavWriter.h"
#include "tests/sources/SourceTestSupport.h"

namespace {

using fixtures::Bytes;
using fixtures::WavFile;
using fixtures::WavFormat;
using sourcetest::InfoOf;
using sourcetest::OpenWave;
using sourcetest::ReadToEnd;

class WaveSourceTest : public ::testing::Test {
 protected:
  std::string Write(const WavFile& file) {
    const std::string path = dir_.File("t" + std::to_string(++files_) + ".wav");
    file.Write(path);
    return path;
  }
  std::string WriteWav(const WavFormat& format, const Bytes& samples) {
    return Write(WavFile().Format(format).Data(samples));
  }
  fixtures::TempDir dir_;
  int files_ = 0;
};

TEST_F(WaveSourceTest, ReportsTheFormatChunkAndTheLengthInCdFrames) {
  const struct {
    const char* name;
    WavFormat format;
    std::uint32_t dataBytes;
    std::uint16_t reportedTag;
    std::uint32_t length, end;
  } cases[] = {
      {"16-bit stereo, one second", {1, 2, 44100, 16}, 176400, 1, 75, 74},
      {"24-bit stereo 96k", {1, 2, 96000, 24}, 576000 / 2, 1, 38, 37},
      {"32-bit mono 48k", {1, 1, 48000, 32}, 192000, 1, 75, 74},
      {"float stereo", {3, 2, 44100, 32}, 352800, 3, 75, 74},
      {"8-bit mono 8k", {1, 1, 8000, 8}, 8000, 1, 75, 74},
      {"extensible PCM", {1, 2, 192000, 24, true, 1}, 1152000, 1, 75, 74},
      {"extensible float", {3, 2, 44100, 32, true, 3}, 352800, 3, 75, 74},
      {"extensible, other sub-format", {1, 2, 44100, 16, true, 0x92}, 176400, 0xFFFE, 75, 74},
      {"shorter than one CD frame", {1, 2, 44100, 16}, 400, 1, 1, 0},
      {"just over one frame", {1, 2, 44100, 16}, 2356, 1, 2, 1},
      {"empty data chunk", {1, 2, 44100, 16}, 0, 1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CMusicDataWave source;
    const std::string path = WriteWav(c.format, fixtures::AudioPattern(c.dataBytes));
    ASSERT_EQ(OpenWave(source, path), kMusicOk);
    std::int32_t count = 0;
    EXPECT_EQ(source.GetTrackCount(&count), 0);
    EXPECT_EQ(count, 1);
    const TrackInfo info = InfoOf(source);
    EXPECT_EQ(info.path, platform::FromUtf8(path));
    EXPECT_EQ(info.type, 2);
    EXPECT_EQ(info.formatName, L"WAVE");
    EXPECT_EQ(info.totalBytes, c.dataBytes);
    EXPECT_EQ(info.format.wFormatTag, c.reportedTag);
    EXPECT_EQ(info.format.nChannels, c.format.channels);
    EXPECT_EQ(info.format.nSamplesPerSec, c.format.sampleRate);
    EXPECT_EQ(info.format.nAvgBytesPerSec, c.format.AvgBytesPerSec());
    EXPECT_EQ(info.format.nBlockAlign, c.format.BlockAlign());
    EXPECT_EQ(info.format.wBitsPerSample, c.format.bitsPerSample);
    EXPECT_EQ(info.format.cbSize, c.format.extensible ? 22 : 0);
    EXPECT_EQ(info.length, c.length);
    EXPECT_EQ(info.start, 0u);
    EXPECT_EQ(info.end, c.end);
  }
}

TEST_F(WaveSourceTest, DeliversTheDataUnchangedInChunksOfAtMostOneSecond) {
  const WavFormat format{1, 2, 44100, 16};
  const Bytes samples = fixtures::AudioPattern(2 * 176400 + 1000);
  CMusicDataWave source;
  ASSERT_EQ(OpenWave(source, WriteWav(format, samples)), kMusicOk);
  const auto whole = ReadToEnd(source);
  EXPECT_EQ(whole.endCode, kMusicEndOfRange);
  EXPECT_EQ(whole.bytes, samples);
  EXPECT_EQ(whole.chunkSizes, (std::vector<std::uint32_t>{176400, 176400, 1000}));

  // Reading again after the end keeps answering the end.
  void* data = reinterpret_cast<void*>(1);
  std::uint32_t size = 9;
  EXPECT_EQ(source.Read(&data, &size), kMusicEndOfRange);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);
}

TEST_F(WaveSourceTest, PlayRangesSelectWholeCdFrames) {
  const WavFormat format{1, 2, 44100, 16};  // 2352 bytes per CD frame
  const Bytes samples = fixtures::AudioPattern(200 * 2352);
  CMusicDataWave source;
  ASSERT_EQ(OpenWave(source, WriteWav(format, samples)), kMusicOk);
  auto frames = [&](std::size_t first, std::size_t count) {
    return Bytes(samples.begin() + first * 2352, samples.begin() + (first + count) * 2352);
  };
  const struct {
    std::uint32_t first, last, offset;
    std::size_t fromFrame, frameCount;
  } cases[] = {
      {0, 199, 0, 0, 200},   // whole file
      {10, 19, 0, 10, 10},   // inner range stops at its last frame
      {10, 99, 50, 60, 40},  // offset within the range (a seek)
      {0, 99, 150, 98, 2},   // start past the end: the last frame but one
      {5, 5, 0, 4, 2},       // empty range: from last - 1
      {0, 0, 0, 0, 1},       // a range ending at frame 0 does not wrap round
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << ".." << c.last << "+" << c.offset);
    EXPECT_EQ(source.SetPlayRange(c.first, c.last, c.offset), kMusicOk);
    const auto got = ReadToEnd(source);
    EXPECT_EQ(got.endCode, kMusicEndOfRange);
    EXPECT_EQ(got.bytes, frames(c.fromFrame, c.frameCount));
  }
}

TEST_F(WaveSourceTest, ChunksNeverSplitASampleFrame) {
  // 8000 Hz 16-bit mono: 16000 bytes a second give 213.33 bytes per CD frame.
  const WavFormat format{1, 1, 8000, 16};
  const Bytes samples = fixtures::AudioPattern(16000 * 3);
  CMusicDataWave source;
  ASSERT_EQ(OpenWave(source, WriteWav(format, samples)), kMusicOk);
  for (std::uint32_t first : {0u, 1u, 7u, 101u}) {
    source.SetPlayRange(first, 224, 0);
    const auto got = ReadToEnd(source);
    for (const auto size : got.chunkSizes)
      EXPECT_EQ(size % 2, 0u) << "range from " << first;
    const std::size_t start = first * 213 / 2 * 2;
    EXPECT_TRUE(fixtures::HoldsAt(samples, start, got.bytes));
  }
}

TEST_F(WaveSourceTest, ReadAllDeliversTheRestOfTheRangeInOneBuffer) {
  const WavFormat format{1, 2, 44100, 16};
  const Bytes samples = fixtures::AudioPattern(300 * 2352);
  CMusicDataWave source;
  ASSERT_EQ(OpenWave(source, WriteWav(format, samples)), kMusicOk);
  source.SetPlayRange(0, 299, 100);
  void* data = nullptr;
  std::uint32_t size = 0;
  ASSERT_EQ(source.ReadAll(&data, &size), kMusicOk);
  SourceBuffer owned(source, data, size);
  EXPECT_EQ(Bytes(owned.data(), owned.data() + owned.size()),
            Bytes(samples.begin() + 100 * 2352, samples.end()));
  EXPECT_EQ(source.ReadAll(&data, &size), kMusicEndOfRange);
}

TEST_F(WaveSourceTest, TitleAndArtistComeFromTheId3ChunkBeforeListInfo) {
  const WavFormat format{1, 2, 44100, 16};
  const Bytes pcm = fixtures::AudioPattern(2352);
  const Bytes utf16Title = {0xFF, 0xFE, 'T', 0, 'i', 0, 0x6E, 0x66};
  const struct {
    const char* name;
    WavFile file;
    std::wstring title, artist;
  } cases[] = {
      {"id3 wins for the title, INFO fills the artist",
       WavFile()
           .Format(format)
           .Chunk("LIST", fixtures::InfoListBody(
                              {{"INAM", {'L', 'i', 's', 't'}}, {"IART", {'A', 'r', 't'}}}))
           .Chunk("id3 ", fixtures::Id3Tag({{"TIT2", 1, utf16Title}}))
           .Data(pcm),
       L"Ti\u666e", L"Art"},
      {"id3 title and artist",
       WavFile().Format(format).Data(pcm).Chunk(
           "id3 ", fixtures::Id3Tag({{"TPE1", 3, {0xC3, 0xA9}}, {"TIT2", 0, {'x', 0xE9}}})),
       L"x\u00e9", L"\u00e9"},
      {"INFO in Shift_JIS",
       WavFile().Format(format).Data(pcm).Chunk(
           "LIST", fixtures::InfoListBody({{"INAM",
                                            {0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0x82, 0xCC, 0x8B,
                                             0xC8, 0x96, 0xBC, 0x82, 0xC5, 0x82, 0xB7}}})),
       L"\u65e5\u672c\u8a9e\u306e\u66f2\u540d\u3067\u3059", L""},
      // A 2.4 frame size is seven bits a byte: read plain, the 200-byte
      // frame in front would hide the title and the artist.
      {"id3 version 2.4 with a long frame first",
       WavFile().Format(format).Data(pcm).Chunk(
           "id3 ", fixtures::Id3v2Tag({{"PRIV", Bytes(200, 'p')},
                                       fixtures::TextFrame("TIT2", 3, fixtures::TextBytes("Four")),
                                       fixtures::TextFrame("TPE1", 0, fixtures::TextBytes("Band"))},
                                      {.majorVersion = 4})),
       L"Four", L"Band"},
      {"id3 version 2.2 has three-letter ids",
       WavFile().Format(format).Data(pcm).Chunk(
           "id3 ", fixtures::Id3v2Tag({fixtures::TextFrame("TT2", 0, fixtures::TextBytes("Two")),
                                       fixtures::TextFrame("TP1", 0, fixtures::TextBytes("Old"))},
                                      {.majorVersion = 2})),
       L"Two", L"Old"},
      {"an upper-case ID3 chunk is not the tag chunk",
       WavFile().Format(format).Data(pcm).Chunk("ID3 ", fixtures::Id3Tag({{"TIT2", 0, {'x'}}})),
       L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CMusicDataWave source;
    ASSERT_EQ(OpenWave(source, Write(c.file)), kMusicOk);
    const TrackInfo info = InfoOf(source);
    EXPECT_EQ(info.title, c.title);
    EXPECT_EQ(info.artist, c.artist);
    EXPECT_EQ(ReadToEnd(source).bytes, pcm);
  }
}

TEST_F(WaveSourceTest, InfoTextIsCutTo512Bytes) {
  Bytes longArtist(700, 'a');
  longArtist[600] = 'b';
  CMusicDataWave source;
  ASSERT_EQ(
      OpenWave(source, Write(WavFile()
                                 .Format({1, 2, 44100, 16})
                                 .Chunk("LIST", fixtures::InfoListBody({{"IART", longArtist}}))
                                 .Data(fixtures::AudioPattern(4)))),
      kMusicOk);
  EXPECT_EQ(InfoOf(source).artist, std::wstring(512, L'a'));
}

TEST_F(WaveSourceTest, ASecondOpenForgetsTheFirstFile) {
  CMusicDataWave source;
  const auto tagged = Write(WavFile()
                                .Format({1, 2, 44100, 16})
                                .Chunk("id3 ", fixtures::Id3Tag({{"TIT2", 3, {'A'}}}))
                                .Data(fixtures::AudioPattern(2352 * 3)));
  const Bytes plainSamples = fixtures::AudioPattern(1000, 7);
  const auto plain = WriteWav({1, 1, 22050, 16}, plainSamples);
  ASSERT_EQ(OpenWave(source, tagged), kMusicOk);
  ASSERT_EQ(OpenWave(source, plain), kMusicOk);
  const TrackInfo info = InfoOf(source);
  EXPECT_EQ(info.title, L"");
  EXPECT_EQ(info.format.nChannels, 1);
  EXPECT_EQ(ReadToEnd(source).bytes, plainSamples);
}

}  // namespace
