// FlacSource.ppi on files the flac encoder makes from WAV files at test
// time: every sample decoded exactly, ranges and seeks sample-exact, tags,
// and damaged files failing rather than delivering what libFLAC made of them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/TextConv.h"
#include "sources/MusicDataPlugin.h"
#include "sources/SourceFactory.h"
#include "tests/fixtures/CueWriter.h"
#include "tests/fixtures/ToolRunner.h"
#include "tests/fixtures/WavWriter.h"
#include "tests/plugins/LoadedPlugin.h"
#include "tests/sources/SourceTestSupport.h"

namespace {

using fixtures::Bytes;
using plugintest::LoadedPlugin;
using TagMap = std::map<std::string, std::string>;

const std::string kFlacPlugin = std::string(QP_PLUGIN_DIR) + "/FlacSource.ppi";

struct FlacCase {
  const char* name;
  std::uint16_t channels;
  std::uint32_t rate;
  std::uint16_t wavBits;    // the WAV's container
  std::uint16_t validBits;  // the stream's bits (0: all of the container)
  std::vector<std::string> options;
  bool dropTotal = false;  // STREAMINFO without a sample count
};

const FlacCase kCases[] = {
    {"16bit_44k1_seektable", 2, 44100, 16, 0, {}},
    {"24bit_96k_no_seektable", 2, 96000, 24, 0, {"--no-seektable"}},
    {"24bit_192k", 2, 192000, 24, 0, {}},
    {"32bit_48k", 2, 48000, 32, 0, {}},
    {"mono_16bit", 1, 44100, 16, 0, {}},
    {"six_channels_24bit", 6, 48000, 24, 0, {}},
    {"12bit_widened_to_16", 2, 44100, 16, 12, {}},
    {"20bit_widened_to_24", 2, 96000, 24, 20, {}},
    {"8bit_widened_to_16", 2, 44100, 8, 0, {}},
    {"no_total_sample_count", 2, 44100, 16, 0, {"--no-seektable"}, true},
};

constexpr std::size_t kFrames = 30011;  // several FLAC blocks and a short last one

// The WAV's sample bytes and what the plug-in delivers for them: the same
// bytes, except 8-bit WAV data (unsigned) which arrives as signed 16-bit
// with the sample in the high byte.
struct Audio {
  Bytes wav;
  Bytes delivered;
};

Audio MakeAudio(const FlacCase& c) {
  Audio audio;
  audio.wav = fixtures::AudioPattern(kFrames * c.channels * c.wavBits / 8, c.rate);
  const std::size_t bytes = c.wavBits / 8;
  if (c.validBits != 0) {
    // The bits below the stream's resolution are zero in the WAV.
    const std::uint8_t mask = static_cast<std::uint8_t>(0xFF << (c.wavBits - c.validBits) % 8);
    for (std::size_t i = 0; i < audio.wav.size(); i += bytes)
      audio.wav[i] &= mask;
  }
  if (c.wavBits == 8) {
    for (const std::uint8_t b : audio.wav)
      audio.delivered.insert(audio.delivered.end(), {0, static_cast<std::uint8_t>(b ^ 0x80)});
  } else {
    audio.delivered = audio.wav;
  }
  return audio;
}

// STREAMINFO's 36-bit total sample count, cleared.
void DropTotalSamples(Bytes& flac) {
  flac.at(21) &= 0xF0;
  for (std::size_t i = 22; i < 26; ++i)
    flac.at(i) = 0;
}

class FlacTest : public ::testing::TestWithParam<FlacCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plugin_.loaded()) << dlerror();
    ASSERT_EQ(plugin_.Initialize(), 0);
    const FlacCase& c = GetParam();
    audio_ = MakeAudio(c);
    const fixtures::WavFormat format{1, c.channels, c.rate, c.wavBits, c.validBits != 0,
                                     1, c.validBits};
    fixtures::WriteWav(dir_.File("in.wav"), format, audio_.wav);
    ASSERT_EQ(fixtures::EncodeFlac(dir_.File("in.wav"), path_, c.options), "");
    if (c.dropTotal) {
      Bytes flac = fixtures::ReadFile(path_);
      DropTotalSamples(flac);
      fixtures::WriteFile(path_, flac);
    }
  }
  std::uint32_t FrameBytes() const {
    return static_cast<std::uint32_t>(audio_.delivered.size() / kFrames);
  }
  Bytes Expected(std::size_t first, std::size_t count) const {
    const auto at = audio_.delivered.begin() + static_cast<long>(first * FrameBytes());
    return Bytes(at, at + static_cast<long>(count * FrameBytes()));
  }
  int32_t Open() {
    const std::u16string path = platform::ToUtf16(platform::FromUtf8(path_));
    return plugin_.ops().OpenFile(plugin_.self(), path.c_str());
  }

  fixtures::TempDir dir_;
  std::string path_ = dir_.File("track.flac");
  Audio audio_;
  LoadedPlugin plugin_{kFlacPlugin};
};

TEST_P(FlacTest, DeliversExactlyTheWavSamples) {
  const FlacCase& c = GetParam();
  ASSERT_EQ(Open(), 0);
  WAVEFORMATEX format{};
  ASSERT_EQ(plugin_.ops().GetFormat(plugin_.self(), &format), 0);
  EXPECT_EQ(format.nChannels, c.channels);
  EXPECT_EQ(format.nSamplesPerSec, c.rate);
  EXPECT_EQ(format.wBitsPerSample, c.wavBits == 8 ? 16 : c.wavBits);
  EXPECT_EQ(format.nBlockAlign, FrameBytes());
  EXPECT_EQ(plugin_.Frames(), static_cast<int32_t>(kFrames));
  int32_t dsd = -1, alignment = -1;
  EXPECT_EQ(plugin_.ops().IsDsd(plugin_.self(), &dsd), 0);
  EXPECT_EQ(dsd, 0);
  EXPECT_EQ(plugin_.ops().GetAlignment(plugin_.self(), &alignment), 0);
  EXPECT_EQ(alignment, 1);

  Bytes all;
  ASSERT_EQ(plugin_.ReadRange(0, kFrames - 1, all), 0);
  EXPECT_EQ(all, audio_.delivered);
}

TEST_P(FlacTest, RangesLandOnTheExactSampleForwardAndBack) {
  ASSERT_EQ(Open(), 0);
  // Forward from the start (decoding through), back to the start, back
  // into the middle after the end (a real seek), and past the end.
  const struct {
    std::size_t first, last;
  } ranges[] = {{12345, 15000}, {0, 4095},      {kFrames - 10, kFrames - 1},
                {7, 8},         {20001, 29999}, {kFrames - 3, kFrames + 500}};
  for (const auto& r : ranges) {
    SCOPED_TRACE(r.first);
    Bytes got;
    ASSERT_EQ(plugin_.ReadRange(static_cast<int32_t>(r.first), static_cast<int32_t>(r.last), got),
              0);
    EXPECT_EQ(got, Expected(r.first, std::min(r.last, kFrames - 1) - r.first + 1));
  }
  Bytes none;
  EXPECT_EQ(plugin_.ReadRange(kFrames, kFrames + 1, none), PPI_E_FAIL);
}

TEST_P(FlacTest, AMemoryImageReadsLikeTheFile) {
  const Bytes image = fixtures::ReadFile(path_);
  ASSERT_EQ(plugin_.OpenImage(image), 0);
  EXPECT_EQ(plugin_.Frames(), static_cast<int32_t>(kFrames));
  Bytes got;
  ASSERT_EQ(plugin_.ReadRange(1000, 20999, got), 0);
  EXPECT_EQ(got, Expected(1000, 20000));
}

INSTANTIATE_TEST_SUITE_P(Streams, FlacTest, ::testing::ValuesIn(kCases),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

// Plain 16-bit stereo encoded with `options`, at `path`; its sample bytes.
Bytes EncodeStereo(const fixtures::TempDir& dir, const std::string& path, std::size_t frames,
                   const std::vector<std::string>& options = {}) {
  const Bytes samples = fixtures::AudioPattern(frames * 4, 7);
  fixtures::WriteWav(dir.File("in.wav"), {1, 2, 44100, 16}, samples);
  EXPECT_EQ(fixtures::EncodeFlac(dir.File("in.wav"), path, options), "");
  return samples;
}

TEST(FlacTags, VorbisCommentsAreUtf8TitleArtistAndDictionary) {
  fixtures::TempDir dir;
  const std::string path = dir.File("tagged.flac");
  EncodeStereo(dir, path, 4410,
               {"-T", "title=\xC3\xA9t\xC3\xA9", "-T", "ARTIST=Corv\xC3\xA9", "-T", "ARTIST=Second",
                "-T", "ALBUM=Blue", "-T", "TRACKNUMBER=7"});
  LoadedPlugin plugin(kFlacPlugin);
  ASSERT_TRUE(plugin.loaded());
  ASSERT_EQ(plugin.Initialize(), 0);
  const std::u16string path16 = platform::ToUtf16(platform::FromUtf8(path));
  ASSERT_EQ(plugin.ops().OpenFile(plugin.self(), path16.c_str()), 0);

  char title[64] = {}, artist[64] = {};
  int32_t titleEncoding = -1, artistEncoding = -1;
  ASSERT_EQ(plugin.ops().GetTitleArtist(plugin.self(), title, sizeof title, &titleEncoding, artist,
                                        sizeof artist, &artistEncoding),
            0);
  EXPECT_STREQ(title, "\xC3\xA9t\xC3\xA9");
  EXPECT_STREQ(artist, "Corv\xC3\xA9") << "the first of repeated fields";
  EXPECT_EQ(titleEncoding, 3);
  EXPECT_EQ(artistEncoding, 3);

  const void* dictionary = nullptr;
  ASSERT_EQ(plugin.ops().GetTagMap(plugin.self(), &dictionary), 0);
  const TagMap& tags = *static_cast<const TagMap*>(dictionary);
  EXPECT_EQ(tags.at("Album"), std::string("Blue\0\0", 6));
  EXPECT_EQ(tags.at("Track"), std::string("7\0\0", 3));
  EXPECT_EQ(tags.at("encTitle"), "ENC_UTF-8");

  // Through the player: the plug-in is found by extension alone.
  auto registry = std::make_shared<CPluginCtrl>();
  ASSERT_EQ(registry->LoadPluginsFrom(platform::FromUtf8(QP_PLUGIN_DIR)), 0);
  const std::wstring widePath = platform::FromUtf8(path);
  auto source = CreateSourceForPath(widePath, registry);
  ASSERT_EQ(source->Open({widePath, false, -96.0}), 0);
  TrackInfo info;
  ASSERT_EQ(source->GetTrackInfo(0, &info), 0);
  EXPECT_EQ(info.type, 4);
  EXPECT_EQ(info.formatName, L"FLAC");
  EXPECT_EQ(info.title, L"\u00e9t\u00e9");
  EXPECT_EQ(info.artist, L"Corv\u00e9");
}

TEST(FlacCue, ASheetOverAFlacFilePlaysItsTracksThroughThePlugin) {
  fixtures::TempDir dir;
  const Bytes samples = EncodeStereo(dir, dir.File("album.flac"), 44100 * 3);
  fixtures::WriteCue(dir.File("album.cue"),
                     "FILE \"album.flac\" WAVE\n"
                     "  TRACK 01 AUDIO\n    TITLE \"One\"\n    INDEX 01 00:00:00\n"
                     "  TRACK 02 AUDIO\n    TITLE \"Two\"\n    INDEX 01 00:02:00\n");
  auto registry = std::make_shared<CPluginCtrl>();
  ASSERT_EQ(registry->LoadPluginsFrom(platform::FromUtf8(QP_PLUGIN_DIR)), 0);
  const std::wstring sheet = platform::FromUtf8(dir.File("album.cue"));
  auto cue = CreateSourceForPath(sheet, registry);
  ASSERT_EQ(cue->Open({sheet, false, -96.0}), 0);
  std::int32_t count = 0;
  ASSERT_EQ(cue->GetTrackCount(&count), 0);
  ASSERT_EQ(count, 2);
  TrackInfo second;
  ASSERT_EQ(cue->GetTrackInfo(1, &second), 0);
  EXPECT_EQ(second.type, 4);
  EXPECT_EQ(second.formatName, L"FLAC");
  EXPECT_EQ(second.title, L"Two");
  EXPECT_EQ(second.start, 150u);
  EXPECT_EQ(second.end, 224u);

  // Played as the player plays an item: a source made for its type.
  auto source = CreateSourceForType(second.type, second.path, registry);
  ASSERT_EQ(source->Open({second.path, false, -96.0}), 0);
  ASSERT_EQ(source->SetPlayRange(second.start, second.end, 0), 0);
  const sourcetest::Delivery delivered = sourcetest::ReadToEnd(*source);
  EXPECT_EQ(delivered.endCode, kMusicEndOfRange);
  EXPECT_EQ(delivered.bytes, Bytes(samples.begin() + 2 * 44100 * 4, samples.end()));

  // Without plug-ins the sheet names a file nothing reads.
  auto alone = CreateSourceForPath(sheet, nullptr);
  EXPECT_EQ(alone->Open({sheet, false, -96.0}), kMusicErrDecode);
}

TEST(FlacDamage, TruncatedAndBitFlippedStreamsFailTheReadAndNonFlacIsRefused) {
  fixtures::TempDir dir;
  const std::string good = dir.File("good.flac");
  EncodeStereo(dir, good, 44100);
  const Bytes image = fixtures::ReadFile(good);
  Bytes truncated(image.begin(), image.begin() + static_cast<long>(image.size() * 6 / 10));
  Bytes flipped = image;
  flipped[flipped.size() / 2] ^= 0x10;
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {{"truncated", truncated}, {"bit flipped", flipped}};

  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LoadedPlugin plugin(kFlacPlugin);
    ASSERT_TRUE(plugin.loaded());
    ASSERT_EQ(plugin.Initialize(), 0);
    ASSERT_EQ(plugin.OpenImage(c.bytes), 0) << "the headers are intact";
    EXPECT_EQ(plugin.Frames(), 44100);
    Bytes got;
    EXPECT_EQ(plugin.ReadRange(0, 44099, got), PPI_E_FAIL);
    EXPECT_TRUE(got.empty());
  }

  LoadedPlugin plugin(kFlacPlugin);
  ASSERT_EQ(plugin.Initialize(), 0);
  const Bytes notFlac = fixtures::AudioPattern(5000);
  ASSERT_EQ(plugin.OpenImage(notFlac), 0);
  EXPECT_EQ(plugin.Frames(), 0);
}

}  // namespace
