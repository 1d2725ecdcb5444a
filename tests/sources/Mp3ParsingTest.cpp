#include <gtest/gtest.h>

#include <cstring>

#include "sources/LameTag.h"
#include "sources/Mp3FrameHeader.h"
#include "sources/Mp3StreamInfo.h"
#include "sources/SmartFileReader.h"
#include "tests/sources/Mp3TestSupport.h"

namespace {

using fixtures::Bytes;
using fixtures::WavFormat;
using namespace mp3test;

const WavFormat kHalfRateMono{1, 1, 22050, 16};
const WavFormat kHalfRateStereo{1, 2, 22050, 16};

std::optional<Mp3StreamInfo> Analyze(const std::string& path) {
  auto reader = std::make_shared<CSmartFileReader>();
  if (!reader->Open(platform::FromUtf8(path))) return std::nullopt;
  Mp3StreamInfo info;
  if (!AnalyzeMp3Stream(reader, info)) return std::nullopt;
  return info;
}

std::uint64_t WavFrames(const EncodedFile& file, const WavFormat& format) {
  return file.pcm.size() / format.BlockAlign();
}

TEST(Mp3FrameHeader, FieldsAndLengths) {
  const struct {
    std::uint32_t raw;
    int version, layer;
    std::uint32_t bitrate, rate, samples, length, channels;
  } cases[] = {
      {0xFFFB9064, 1, 3, 128000, 44100, 1152, 417, 2},  // MPEG-1 Layer III, 128 kbit/s
      {0xFFFB9264, 1, 3, 128000, 44100, 1152, 418, 2},  // the same, padded
      {0xFFF38000, 2, 3, 64000, 22050, 576, 208, 2},    // MPEG-2 Layer III
      {0xFFE318C0, 3, 3, 8000, 8000, 576, 72, 1},       // MPEG-2.5 Layer III, mono
      {0xFFFFC400, 1, 1, 384000, 48000, 384, 384, 2},   // Layer I
      {0xFFFFC600, 1, 1, 384000, 48000, 384, 388, 2},   // Layer I, padded by a 4-byte slot
      {0xFFFDA800, 1, 2, 192000, 32000, 1152, 864, 2},  // Layer II
  };
  for (const auto& c : cases) {
    const Mp3FrameHeader header(c.raw);
    SCOPED_TRACE(testing::Message() << std::hex << c.raw);
    EXPECT_TRUE(header.IsValid());
    EXPECT_EQ(header.VersionIndex(), c.version);
    EXPECT_EQ(header.Layer(), c.layer);
    EXPECT_EQ(header.Bitrate(), c.bitrate);
    EXPECT_EQ(header.SampleRate(), c.rate);
    EXPECT_EQ(header.SamplesPerFrame(), c.samples);
    EXPECT_EQ(header.FrameLength(), c.length);
    EXPECT_EQ(header.Channels(), c.channels);
  }
}

TEST(Mp3FrameHeader, InvalidHeadersHaveNoLength) {
  const std::uint32_t cases[] = {
      0xFFFB0064,  // free format
      0xFFFBF064,  // bitrate index 15
      0xFFFB9C64,  // sample-rate index 3
      0xFFEB9064,  // reserved version
      0xFFF99064,  // reserved layer
      0xFFFB9066,  // reserved emphasis
      0xFFDB9064,  // sync incomplete
      0x49443303,  // "ID3"
  };
  for (const auto raw : cases) {
    EXPECT_FALSE(Mp3FrameHeader(raw).IsValid()) << std::hex << raw;
    EXPECT_EQ(Mp3FrameHeader(raw).FrameLength(), 0u) << std::hex << raw;
  }
}

TEST(LameTag, Crc16IsTheArcVariant) {
  const char* check = "123456789";
  EXPECT_EQ(Crc16Arc(reinterpret_cast<const std::uint8_t*>(check), 9), 0xBB3D);
}

TEST(Mp3Analysis, LameFilesGiveTheSampleCountOfTheirSource) {
  fixtures::TempDir dir;
  const struct {
    const char* name;
    WavFormat format;
    std::vector<std::string> args;
    std::size_t xingOffset;  // of "Info"/"Xing" in the first frame
  } cases[] = {
      {"cbr", kCdStereo, {"-b", "128"}, 36},
      {"vbr", kCdStereo, {"-V", "2"}, 36},
      {"mpeg2-mono", kHalfRateMono, {"-b", "64"}, 13},
      {"mpeg2-stereo", kHalfRateStereo, {"-b", "64"}, 21},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = Encode(
        dir, c.name, c.format,
        fixtures::TestMusic(c.format.sampleRate, c.format.channels, 2 * c.format.sampleRate + 333),
        c.args);
    const Bytes mp3 = fixtures::ReadFile(file.mp3Path);
    const auto info = Analyze(file.mp3Path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->firstFrameOffset, 0u);
    ASSERT_GT(mp3.size(), c.xingOffset + 4);
    const std::string magic(mp3.begin() + c.xingOffset, mp3.begin() + c.xingOffset + 4);
    EXPECT_TRUE(magic == "Info" || magic == "Xing") << magic;
    EXPECT_TRUE(info->lame.xingPresent);
    EXPECT_EQ(info->lame.encoderDelay, 576);
    EXPECT_EQ(info->delay, 576u);
    EXPECT_EQ(info->totalSamples, WavFrames(file, c.format));
    // The Xing frame is not audio.
    EXPECT_EQ(info->audioStart, info->firstHeader.FrameLength());
    EXPECT_EQ(info->audioLength, mp3.size() - info->firstHeader.FrameLength());
    EXPECT_EQ(info->totalFrames, info->lame.frameCount);
    EXPECT_EQ(info->index.size(), 0u) << "the Xing frame count spares the scan";
  }
}

TEST(Mp3Analysis, WithoutEncoderDataTheFramesAreCounted) {
  fixtures::TempDir dir;
  const auto file =
      Encode(dir, "plain", kCdStereo, fixtures::TestMusic(44100, 2, 50000), {"-t", "-b", "128"});
  const auto info = Analyze(file.mp3Path);
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->lame.xingPresent);
  EXPECT_EQ(info->audioStart, 0u);
  const std::uint64_t frames = info->index.size();
  EXPECT_EQ(info->totalFrames, frames);
  EXPECT_EQ(info->delay, 0u);
  EXPECT_EQ(info->padding, 0u);
  EXPECT_EQ(info->totalSamples, frames * 1152);
  EXPECT_GE(frames * 1152, 50000u + 576);
  EXPECT_LT(frames * 1152, 50000u + 576 + 2 * 1152);
}

TEST(Mp3Analysis, ALameTagWithTheWrongCrcIsNotTrusted) {
  fixtures::TempDir dir;
  const auto file =
      Encode(dir, "crc", kCdStereo, fixtures::TestMusic(44100, 2, 50000), {"-b", "128"});
  const auto good = Analyze(file.mp3Path);
  ASSERT_TRUE(good && good->lame.xingPresent);

  Bytes mp3 = fixtures::ReadFile(file.mp3Path);
  mp3[4 + 32 + 120] ^= 0x20;  // a letter of the encoder version
  fixtures::WriteFile(file.mp3Path, mp3);
  const auto info = Analyze(file.mp3Path);
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->lame.xingPresent);
  EXPECT_EQ(info->audioStart, 0u) << "the first frame stays part of the audio";
  EXPECT_EQ(info->totalFrames, good->totalFrames + 1) << "frames counted by scanning";
  EXPECT_EQ(info->delay, 0u);
}

// A byte count smaller than the Xing frame itself (0 here, under a matching
// CRC) must not shrink the audio region below nothing.
TEST(Mp3Analysis, AXingByteCountBelowItsFrameIsIgnored) {
  fixtures::TempDir dir;
  const auto file =
      Encode(dir, "bytes", kCdStereo, fixtures::TestMusic(44100, 2, 50000), {"-b", "128"});
  Bytes mp3 = fixtures::ReadFile(file.mp3Path);
  constexpr std::size_t kByteCount = 4 + 32 + 12;  // after "Info", flags and frame count
  constexpr std::size_t kTagCrc = 32 + 158;        // the CRC covers the bytes before it
  std::fill(mp3.begin() + kByteCount, mp3.begin() + kByteCount + 4, 0);
  const std::uint16_t crc = Crc16Arc(mp3.data(), kTagCrc);
  mp3[kTagCrc] = static_cast<std::uint8_t>(crc >> 8);
  mp3[kTagCrc + 1] = static_cast<std::uint8_t>(crc);
  fixtures::WriteFile(file.mp3Path, mp3);

  const auto info = Analyze(file.mp3Path);
  ASSERT_TRUE(info);
  ASSERT_TRUE(info->lame.xingPresent);
  EXPECT_EQ(info->lame.byteCount, 0u);
  EXPECT_EQ(info->audioStart, 417u);
  EXPECT_EQ(info->audioLength, mp3.size() - 417);
  EXPECT_EQ(info->totalSamples, 50000u);
}

TEST(Mp3Analysis, Mpeg25NeverReadsAXingHeader) {
  fixtures::TempDir dir;
  const WavFormat format{1, 1, 11025, 16};
  const auto file =
      Encode(dir, "mpeg25", format, fixtures::TestMusic(11025, 1, 20000), {"-b", "64"});
  const Bytes mp3 = fixtures::ReadFile(file.mp3Path);
  ASSERT_EQ(std::string(mp3.begin() + 13, mp3.begin() + 17), "Info") << "lame wrote one";
  const auto info = Analyze(file.mp3Path);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->firstHeader.VersionIndex(), Mp3FrameHeader::kMpeg25);
  EXPECT_FALSE(info->lame.xingPresent);
  EXPECT_EQ(info->audioStart, 0u);
  EXPECT_EQ(info->totalFrames, info->index.size());
}

// iTunSMPB comments come first when their numbers add up to whole frames.
TEST(Mp3Analysis, ITunSmpbIsTakenOnlyWhenItAddsUp) {
  fixtures::TempDir dir;
  const auto plain =
      Encode(dir, "plain", kCdStereo, fixtures::TestMusic(44100, 2, 50000), {"-t", "-b", "128"});
  const auto lame =
      Encode(dir, "lame", kCdStereo, fixtures::TestMusic(44100, 2, 50000), {"-b", "128"});
  const auto plainInfo = Analyze(plain.mp3Path);
  ASSERT_TRUE(plainInfo);
  const std::uint32_t frames = static_cast<std::uint32_t>(plainInfo->totalFrames);
  const std::uint32_t padding = frames * 1152 - 576 - 50000;
  ASSERT_GT(padding, 576u);

  const struct {
    const char* name;
    const EncodedFile* file;
    Bytes comment;
    std::uint64_t delay, totalSamples;
  } cases[] = {
      {"adds up", &plain, fixtures::ITunSmpbBody(576, padding, 50000), 576, 50000},
      {"one sample off", &plain, fixtures::ITunSmpbBody(576, padding + 1, 50000), 0, frames * 1152},
      {"no delay", &plain, fixtures::ITunSmpbBody(0, padding + 576, 50000), 0, frames * 1152},
      {"before the LAME tag", &lame, fixtures::ITunSmpbBody(1152, padding + 576 - 1152, 50000),
       1152, 50000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes mp3 = fixtures::Id3v2Tag({Text("TT2", "Song"), {"COM", c.comment}},
                                   {.majorVersion = 2, .padding = 64});
    const Bytes audio = fixtures::ReadFile(c.file->mp3Path);
    mp3.insert(mp3.end(), audio.begin(), audio.end());
    const std::string path = dir.File("tagged.mp3");
    fixtures::WriteFile(path, mp3);
    const auto info = Analyze(path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->tags.title, L"Song");
    EXPECT_EQ(info->delay, c.delay);
    EXPECT_EQ(info->totalSamples, c.totalSamples);
  }
}

class Mp3TagTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto file =
        Encode(dir_, "tone", kCdStereo, fixtures::TestMusic(44100, 2, 30000), {"-t", "-b", "128"});
    audio_ = fixtures::ReadFile(file.mp3Path);
    const auto info = Analyze(file.mp3Path);
    ASSERT_TRUE(info);
    frames_ = info->totalFrames;
  }
  std::optional<Mp3StreamInfo> AnalyzeWith(const Bytes& head, const Bytes& tail) {
    Bytes file = head;
    file.insert(file.end(), audio_.begin(), audio_.end());
    file.insert(file.end(), tail.begin(), tail.end());
    const std::string path = dir_.File("tagged.mp3");
    fixtures::WriteFile(path, file);
    return Analyze(path);
  }

  fixtures::TempDir dir_;
  Bytes audio_;
  std::uint64_t frames_ = 0;
};

TEST_F(Mp3TagTest, Id3v2TextsReplaceId3v1TextsEvenWhenEmpty) {
  const Bytes v1 = fixtures::Id3v1Tag("Old Title", "Old Artist", "Old Album");
  auto info = AnalyzeWith({}, v1);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->tags.title, L"Old Title");
  EXPECT_EQ(info->tags.artist, L"Old Artist");
  EXPECT_EQ(info->tags.album, L"Old Album");
  EXPECT_EQ(info->audioLength, audio_.size());
  EXPECT_EQ(info->totalFrames, frames_);

  const Bytes v2 =
      fixtures::Id3v2Tag({Text("TIT2", "Caf\xC3\xA9", 3), Text("TALB", ""), Text("TRCK", "7/12")});
  info = AnalyzeWith(v2, v1);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->tags.title, L"Caf\u00e9");
  EXPECT_EQ(info->tags.artist, L"");
  EXPECT_EQ(info->tags.album, L"");
  EXPECT_EQ(info->tags.trackNumber, 7);
  EXPECT_EQ(info->audioStart, v2.size());
  EXPECT_EQ(info->audioLength, audio_.size());
}

TEST_F(Mp3TagTest, Version22FramesAndTagPlusAreRead) {
  const Bytes v22 = fixtures::Id3v2Tag(
      {Text("TT2", "Title"), Text("TP1", "Artist"), Text("TAL", "Album"), Text("TRK", "12")},
      {.majorVersion = 2, .padding = 100});
  const Bytes plus = fixtures::Id3v1Tag("x", "y", "z", true);
  const auto info = AnalyzeWith(v22, plus);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->tags.title, L"Title");
  EXPECT_EQ(info->tags.artist, L"Artist");
  EXPECT_EQ(info->tags.album, L"Album");
  EXPECT_EQ(info->tags.trackNumber, 12);
  EXPECT_EQ(info->id3v1.size, 355u);
  EXPECT_EQ(info->audioStart + info->audioLength, v22.size() + audio_.size());
  EXPECT_EQ(info->totalFrames, frames_);
}

// Tags larger than the reader's window, frames whose sizes lie or are 0, and a
// comment that ends inside its numbers: texts come out right or not at all,
// and the audio is found behind the tag.
TEST_F(Mp3TagTest, DamagedOrHugeId3v2TagsAreWalkedWithinTheirBounds) {
  const Bytes art(1536 * 1024, 0xFF);  // cover art bigger than the 1 MiB window
  // A comment that ends after its third number, followed by what reads as a
  // fourth one: only a parse that leaves the frame would find it.
  Bytes cutComment = fixtures::ITunSmpbBody(576, 1000, 50000);
  cutComment.resize(cutComment.size() - 26);
  Bytes cutTag = fixtures::Id3v2Tag({{"COM", cutComment}}, {.majorVersion = 2, .padding = 64});
  const std::string fourth = " 0000C350";
  std::copy(fourth.begin(), fourth.end(), cutTag.begin() + 10 + 6 + cutComment.size());
  const struct {
    const char* name;
    Bytes tag;
    std::wstring title, artist;
    bool smpb;
  } cases[] = {
      {"cover art first",
       fixtures::Id3v2Tag({{"APIC", art}, Text("TIT2", "After Art"), Text("TPE1", "Band")}),
       L"After Art", L"Band", false},
      {"empty text frame", fixtures::Id3v2Tag({{"TIT2", {}}, Text("TPE1", "Band")}), L"", L"Band",
       false},
      {"size that wraps 32 bits",
       fixtures::Id3v2Tag({Text("TPE1", "Band"), Lying(Text("TIT2", "Lost"), 0xFFFFFFF8)}), L"",
       L"Band", false},
      {"size beyond the tag",
       fixtures::Id3v2Tag({Lying(Text("TIT2", "Lost"), 4000)}, {.majorVersion = 4, .padding = 100}),
       L"", L"", false},
      {"comment cut inside its numbers", cutTag, L"", L"", false},
      {"version 2.4 frames of 128 bytes and more",
       fixtures::Id3v2Tag({Text("TIT2", std::string(300, 'x')), Text("TPE1", "Band")},
                          {.majorVersion = 4}),
       std::wstring(300, L'x'), L"Band", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto info = AnalyzeWith(c.tag, {});
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->id3v2.present);
    EXPECT_EQ(info->tags.title, c.title);
    EXPECT_EQ(info->tags.artist, c.artist);
    EXPECT_EQ(info->id3v2.smpb.present, c.smpb);
    EXPECT_EQ(info->audioStart, c.tag.size());
    EXPECT_EQ(info->totalFrames, frames_);
  }
}

TEST_F(Mp3TagTest, ATagSizeBeyondTheFileIsIgnored) {
  Bytes tag = fixtures::Id3v2Tag({Text("TIT2", "Lost")}, {.declaredTagSize = 0x0FFFFFFF});
  const auto info = AnalyzeWith(tag, {});
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->id3v2.present);
  EXPECT_EQ(info->tags.title, L"");
  EXPECT_EQ(info->firstFrameOffset, tag.size()) << "the search steps over the tag's bytes";
  EXPECT_EQ(info->totalFrames, frames_);
}

}  // namespace
