#include <dlfcn.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/TextConv.h"
#include "sources/MusicDataPlugin.h"
#include "sources/PluginCtrl.h"
#include "sources/PluginInterface.h"
#include "sources/SourceFactory.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/LargestAllocation.h"
#include "tests/plugins/LoadedPlugin.h"

namespace {

using fixtures::BuildDsf;
using fixtures::Bytes;
using fixtures::DsfSpec;
using plugintest::LoadedPlugin;

using TagMap = std::map<std::string, std::string>;

const TagMap& Tags(const void* dictionary) {
  return *static_cast<const TagMap*>(dictionary);
}

const std::string kDsfPlugin = std::string(QP_PLUGIN_DIR) + "/DsfSource.ppi";

// The earliest of a stored byte's eight samples is its lowest bit; delivered
// bytes carry it in the highest.
std::uint8_t Reverse(std::uint8_t b) {
  std::uint8_t r = 0;
  for (int bit = 0; bit < 8; ++bit) {
    if (b & (1 << bit)) r |= static_cast<std::uint8_t>(0x80 >> bit);
  }
  return r;
}

// Raw words: per frame and channel the four stored bytes, each reversed.
Bytes ExpectedRaw(const std::vector<Bytes>& channels, std::size_t first, std::size_t count) {
  Bytes out;
  for (std::size_t f = first; f < first + count; ++f) {
    for (const auto& ch : channels) {
      for (std::size_t i = 0; i < 4; ++i)
        out.push_back(Reverse(ch.at(4 * f + i)));
    }
  }
  return out;
}

// DSD over PCM: per frame and channel 0, later byte, earlier byte, marker.
Bytes ExpectedDop(const std::vector<Bytes>& channels, std::size_t first, std::size_t count) {
  Bytes out;
  for (std::size_t f = first; f < first + count; ++f) {
    const std::uint8_t marker = (f - first) % 2 == 0 ? 0x05 : 0xFA;
    for (const auto& ch : channels) {
      out.insert(out.end(), {0, Reverse(ch.at(2 * f + 1)), Reverse(ch.at(2 * f)), marker});
    }
  }
  return out;
}

class DsfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plugin_.loaded()) << dlerror();
    ASSERT_EQ(plugin_.Initialize(), 0);
  }
  LoadedPlugin plugin_{kDsfPlugin};
};

TEST(DsfIdentity, HandshakeTextsAndArgumentChecks) {
  LoadedPlugin plugin(kDsfPlugin);
  ASSERT_TRUE(plugin.loaded());
  char16_t text[16] = {};
  int32_t flag = 0;
  // Nothing works before the handshake, nor after a refused one.
  EXPECT_EQ(plugin.ops().GetName(plugin.self(), text, 16), PPI_E_NOT_INITIALIZED);
  EXPECT_EQ(plugin.ops().IsDsd(plugin.self(), &flag), PPI_E_NOT_INITIALIZED);
  PPI_GUID wrong = PluginInterfaceId();
  wrong.data4[7] ^= 1;
  EXPECT_EQ(plugin.ops().Initialize(plugin.self(), &wrong), PPI_E_NOT_INITIALIZED);
  EXPECT_EQ(plugin.ops().SetOutputMode(plugin.self(), 1), PPI_E_NOT_INITIALIZED);
  ASSERT_EQ(plugin.Initialize(), 0);

  const struct {
    PluginTextFn fn;
    int32_t tooShort;
    std::u16string text;
  } texts[] = {{plugin.ops().GetName, 10, u"DSF Plugin"},
               {plugin.ops().GetExtensions, 3, u"DSF"},
               {plugin.ops().GetVersion, 5, u"1.0.2"}};
  for (const auto& t : texts) {
    EXPECT_EQ(t.fn(plugin.self(), text, t.tooShort), PPI_E_ARGUMENT);
    EXPECT_EQ(t.fn(plugin.self(), text, t.tooShort + 1), PPI_OK);
    EXPECT_EQ(std::u16string(text), t.text);
    EXPECT_EQ(t.fn(plugin.self(), nullptr, 16), PPI_E_ARGUMENT);
    EXPECT_EQ(t.fn(plugin.self(), text, 0), PPI_E_ARGUMENT);
  }
  int32_t alignment = 0;
  EXPECT_EQ(plugin.ops().GetAlignment(plugin.self(), &alignment), 0);
  EXPECT_EQ(alignment, 2048);
  EXPECT_EQ(plugin.ops().IsMultiInstance(plugin.self(), &flag), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(plugin.ops().IsDsd(plugin.self(), &flag), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(plugin.ops().IsDsd(plugin.self(), nullptr), PPI_E_ARGUMENT);
  EXPECT_EQ(plugin.ops().SetOutputMode(plugin.self(), 2), PPI_E_ARGUMENT);
  EXPECT_EQ(plugin.ops().SetFrameRange(plugin.self(), 0, 0), PPI_E_FAIL);  // nothing open
  EXPECT_EQ(plugin.ops().SetFrameRange(plugin.self(), 5, 4), PPI_E_ARGUMENT);
  EXPECT_EQ(plugin.ops().SetFrameRange(plugin.self(), -1, 10), PPI_E_ARGUMENT);
  EXPECT_EQ(plugin.ops().OpenFile(plugin.self(), u"/no/such/file.dsf"), PPI_E_OPEN);
  EXPECT_EQ(plugin.ops().OpenFile(plugin.self(), nullptr), PPI_E_ARGUMENT);
  EXPECT_EQ(plugin.ops().OpenMemory(plugin.self(), text, 0), PPI_E_ARGUMENT);
}

TEST_F(DsfTest, SizesAndFormatsFollowTheOutputMode) {
  // DSD64 stereo, one second: 2822400 samples a channel.
  ASSERT_EQ(plugin_.OpenImage(BuildDsf({}, fixtures::DsdPattern(2, 352800))), 0);
  const struct {
    int32_t mode;
    int32_t frames, dataSize;
    uint32_t rate;
    uint16_t bits;
  } modes[] = {{0, 176400, 1411200, 176400, 24}, {1, 88200, 705600, 88200, 32}};
  for (const auto& m : modes) {
    ASSERT_EQ(plugin_.ops().SetOutputMode(plugin_.self(), m.mode), 0);
    EXPECT_EQ(plugin_.Frames(), m.frames);
    int32_t size = 0;
    EXPECT_EQ(plugin_.ops().GetDataSize(plugin_.self(), &size), 0);
    EXPECT_EQ(size, m.dataSize);
    WAVEFORMATEX format{};
    EXPECT_EQ(plugin_.ops().GetFormat(plugin_.self(), &format), 0);
    EXPECT_EQ(format.wFormatTag, 1);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.nSamplesPerSec, m.rate);
    EXPECT_EQ(format.nBlockAlign, 8);
    EXPECT_EQ(format.nAvgBytesPerSec, 8 * m.rate);
    EXPECT_EQ(format.wBitsPerSample, m.bits);
    EXPECT_EQ(format.cbSize, 0);
  }
  // A refused mode keeps the one before.
  EXPECT_EQ(plugin_.ops().SetOutputMode(plugin_.self(), 7), PPI_E_ARGUMENT);
  EXPECT_EQ(plugin_.Frames(), 88200);

  // DSD128 reports twice the rate.
  ASSERT_EQ(
      plugin_.OpenImage(BuildDsf({.samplingFrequency = 5644800}, fixtures::DsdPattern(2, 8192))),
      0);
  WAVEFORMATEX format{};
  plugin_.ops().GetFormat(plugin_.self(), &format);
  EXPECT_EQ(format.nSamplesPerSec, 176400u);
}

TEST_F(DsfTest, DeliversExactlyTheStoredSamplesInBothModes) {
  // 70 blocks and a part per channel: several reads of block groups for
  // every channel count. Ranges start on and off block groups, cross the
  // reads' boundaries and run to the end.
  for (const std::uint32_t count : {1u, 2u, 3u, 6u}) {
    SCOPED_TRACE(testing::Message() << count << " channels");
    const auto channels = fixtures::DsdPattern(count, 4096 * 70 + 1000);
    ASSERT_EQ(plugin_.OpenImage(BuildDsf({.channels = count}, channels)), 0);
    const int32_t lastFrame = (4096 * 70 + 1000) / 4 - 1;
    const struct {
      int32_t first, last;
    } ranges[] = {
        {0, 0},    {0, 1},       {0, 2047},      {1024, 3071},   {1000, 1500},
        {0, 5369}, {4096, 5369}, {20000, 45000}, {0, lastFrame}, {lastFrame - 3, lastFrame}};
    for (const auto& r : ranges) {
      SCOPED_TRACE(testing::Message() << r.first << ".." << r.last);
      Bytes got;
      ASSERT_EQ(plugin_.ops().SetOutputMode(plugin_.self(), 1), 0);
      ASSERT_EQ(plugin_.ReadRange(r.first, r.last, got), 0);
      ASSERT_EQ(got, ExpectedRaw(channels, r.first, r.last - r.first + 1));
      ASSERT_EQ(plugin_.ops().SetOutputMode(plugin_.self(), 0), 0);
      const int32_t dopFirst = 2 * r.first, dopLast = 2 * r.last + 1;
      ASSERT_EQ(plugin_.ReadRange(dopFirst, dopLast, got), 0);
      ASSERT_EQ(got, ExpectedDop(channels, dopFirst, dopLast - dopFirst + 1));
    }
    // An odd start: the markers go on alternating across the blocks.
    Bytes got;
    ASSERT_EQ(plugin_.ReadRange(2047, 6200, got), 0);
    ASSERT_EQ(got, ExpectedDop(channels, 2047, 6200 - 2047 + 1));
  }
}

TEST_F(DsfTest, OneSampleByteTurnsAroundAndMarkersRestartEveryRead) {
  std::vector<Bytes> channels = {Bytes(8, 0x01), Bytes(8, 0x00)};
  ASSERT_EQ(plugin_.OpenImage(BuildDsf({}, channels)), 0);
  Bytes got;
  ASSERT_EQ(plugin_.ReadRange(1, 2, got), 0);  // DSD over PCM is the mode of a new object
  EXPECT_EQ(got, (Bytes{0, 0x80, 0x80, 0x05, 0, 0, 0, 0x05, 0, 0x80, 0x80, 0xFA, 0, 0, 0, 0xFA}));
  ASSERT_EQ(plugin_.ReadRange(3, 3, got), 0);
  EXPECT_EQ(got[3], 0x05);
}

TEST_F(DsfTest, ASecondReadWaitsForTheFirstBufferToBeReleased) {
  ASSERT_EQ(plugin_.OpenImage(BuildDsf({}, fixtures::DsdPattern(2, 4096))), 0);
  ASSERT_EQ(plugin_.ops().SetFrameRange(plugin_.self(), 0, 9), 0);
  void* first = nullptr;
  void* second = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(plugin_.ops().Read(plugin_.self(), &first, &size), 0);
  const Bytes copy(static_cast<std::uint8_t*>(first), static_cast<std::uint8_t*>(first) + size);
  EXPECT_EQ(plugin_.ops().Read(plugin_.self(), &second, &size), PPI_E_FAIL);
  EXPECT_EQ(Bytes(static_cast<std::uint8_t*>(first), static_cast<std::uint8_t*>(first) + 80), copy);
  EXPECT_EQ(plugin_.ops().ReleaseData(plugin_.self()), 0);
  EXPECT_EQ(plugin_.ops().ReleaseData(plugin_.self()), 0);
  EXPECT_EQ(plugin_.ops().Read(plugin_.self(), &second, &size), 0);
}

TEST_F(DsfTest, TagsWithVersionsExtendedHeadersAndFlaggedFrames) {
  using fixtures::TextFrame;
  const Bytes utf16Title = {0xFF, 0xFE, 'T', 0, 'i', 0};
  const struct {
    const char* name;
    Bytes tag;
    std::string title, artist;
    int32_t titleEncoding;
    std::size_t dictionarySize;
  } cases[] = {
      {"v2.3 all four",
       fixtures::Id3v2Tag({TextFrame("TIT2", 1, utf16Title), TextFrame("TPE1", 3, {'A'}),
                           TextFrame("TALB", 0, {'L'}), TextFrame("TRCK", 0, {'7'})}),
       std::string("\xFF\xFE"
                   "T\0i\0",
                   6),
       "A", 1, 8},
      {"v2.4 with extended header and padding",
       fixtures::Id3v2Tag({TextFrame("TPE1", 3, {'B'}), TextFrame("TIT2", 3, {'t'})},
                          {.majorVersion = 4, .extendedHeader = true, .padding = 20}),
       "t", "B", 3, 4},
      {"v2.3 extended header with padding size",
       fixtures::Id3v2Tag({TextFrame("TIT2", 0, {'x'})},
                          {.extendedHeader = true, .padding = 30, .declaredPaddingSize = 30}),
       "x", "", 0, 2},
      {"two titles keep the first",
       fixtures::Id3v2Tag({TextFrame("TIT2", 0, {'1'}), TextFrame("TIT2", 0, {'2'})}), "1", "", 0,
       2},
      {"compressed artist counts as found and stays empty",
       fixtures::Id3v2Tag({TextFrame("TPE1", 0, {'c'}, 0x80), TextFrame("TIT2", 0, {'t'}),
                           TextFrame("TALB", 0, {'a'}), TextFrame("TRCK", 0, {'1'}),
                           TextFrame("TPE1", 0, {'l', 'a', 't', 'e'})}),
       "t", "", 0, 6},
      {"v2.4 frame flags",
       fixtures::Id3v2Tag(
           {TextFrame("TIT2", 0, {'e'}, 0x04), TextFrame("TPE1", 0, {'o', 'k'}, 0x02)},
           {.majorVersion = 4}),
       "", "ok", 0, 2},
      {"version 2 is not read",
       [] {
         auto t = fixtures::Id3Tag({{"TIT2", 0, {'x'}}});
         t[3] = 2;
         return t;
       }(),
       "", "", 0, 0},
      {"padding larger than the tag",
       fixtures::Id3v2Tag({TextFrame("TIT2", 0, {'x'})},
                          {.extendedHeader = true, .declaredPaddingSize = 0x0FFFFFFF}),
       "", "", 0, 0},
      {"frame larger than the tag",
       [] {
         auto t = fixtures::Id3v2Tag({TextFrame("TIT2", 0, {'x'}), TextFrame("TPE1", 0, {'y'})});
         t[10 + 11 + 4] = 0x7F;  // second frame's size
         return t;
       }(),
       "x", "", 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(plugin_.OpenImage(BuildDsf({.tag = c.tag}, fixtures::DsdPattern(2, 4096))), 0);
    EXPECT_EQ(plugin_.Frames(), 2048);  // tags never disturb the audio
    std::uint8_t title[64] = {}, artist[64] = {};
    int32_t titleEncoding = -1, artistEncoding = -1;
    ASSERT_EQ(plugin_.ops().GetTitleArtist(plugin_.self(), title, 64, &titleEncoding, artist, 64,
                                           &artistEncoding),
              0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(title), c.title.size() + 2),
              c.title + std::string(2, '\0'));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(artist)), c.artist);
    if (!c.title.empty()) {
      EXPECT_EQ(titleEncoding, c.titleEncoding);
    }
    const void* dictionary = nullptr;
    ASSERT_EQ(plugin_.ops().GetTagMap(plugin_.self(), &dictionary), 0);
    EXPECT_EQ(Tags(dictionary).size(), c.dictionarySize);
  }
}

// Sizes in a tag are claims: one the file cannot hold yields no tags and no
// buffer of that size (the image is 8 KiB, each claim about 256 MiB; the
// test's own copy of the image is the largest allocation expected).
TEST_F(DsfTest, TagSizesBeyondTheFileAllocateNothingOfTheirSize) {
  using fixtures::TextFrame;
  auto withExtendedSize = [](std::uint8_t sizeByte) {
    Bytes tag = fixtures::Id3v2Tag(
        {TextFrame("TIT2", 0, {'x'})},
        {.majorVersion = 4, .extendedHeader = true, .declaredTagSize = 0x0FFFFFFF});
    std::fill(tag.begin() + 10, tag.begin() + 14, sizeByte);  // synchsafe, 7 bits a byte
    return tag;
  };
  const struct {
    const char* name;
    Bytes tag;
  } cases[] = {
      {"v2.4 extended header", withExtendedSize(0x7F)},
      {"v2.3 frame",
       fixtures::Id3v2Tag({{"TIT2", {0, 'x'}, 0, 0, 0x7FFFFFF0}}, {.declaredTagSize = 0x0FFFFFFF})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes image = BuildDsf({.tag = c.tag}, fixtures::DsdPattern(2, 4096));
    fixtures::ResetLargestAllocation();
    ASSERT_EQ(plugin_.OpenImage(image), 0);
    EXPECT_LT(fixtures::LargestAllocation(), std::size_t{1} << 20);
    EXPECT_EQ(plugin_.Frames(), 2048);
    const void* dictionary = nullptr;
    ASSERT_EQ(plugin_.ops().GetTagMap(plugin_.self(), &dictionary), 0);
    EXPECT_TRUE(Tags(dictionary).empty());
  }
}

TEST_F(DsfTest, TheTagDictionaryNamesTextsAndEncodings) {
  const Bytes tag = fixtures::Id3v2Tag({fixtures::TextFrame("TRCK", 3, {'4', '/', '9'}),
                                        fixtures::TextFrame("TPE1", 0, {'A', 'r'})});
  ASSERT_EQ(plugin_.OpenImage(BuildDsf({.tag = tag}, fixtures::DsdPattern(2, 4096))), 0);
  const void* dictionary = nullptr;
  plugin_.ops().GetTagMap(plugin_.self(), &dictionary);
  const TagMap expected = {{"Artist", std::string("Ar\0\0", 4)},
                           {"encArtist", "ENC_SYSTEM"},
                           {"Track", std::string("4/9\0\0", 5)},
                           {"encTrack", "ENC_UTF-8"}};
  EXPECT_EQ(Tags(dictionary), expected);

  // No metadata offset: no tags at all.
  ASSERT_EQ(
      plugin_.OpenImage(BuildDsf({.tag = tag, .metadataOffset = 0}, fixtures::DsdPattern(2, 4096))),
      0);
  plugin_.ops().GetTagMap(plugin_.self(), &dictionary);
  EXPECT_TRUE(Tags(dictionary).empty());
}

TEST_F(DsfTest, DamagedAndUnsupportedFilesGiveNoFrames) {
  const Bytes good = BuildDsf({}, fixtures::DsdPattern(2, 8192));
  auto cut = [&](std::size_t size) { return Bytes(good.begin(), good.begin() + size); };
  auto patched = [&](std::size_t offset, std::uint64_t value, int bytes) {
    Bytes b = good;
    for (int i = 0; i < bytes; ++i)
      b[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    return b;
  };
  const struct {
    const char* name;
    Bytes image;
    uint16_t channels;
    int32_t frames;
  } cases[] = {
      {"cut in the DSD chunk", cut(20), 0, 0},
      {"cut in the fmt chunk", cut(60), 0, 0},
      {"cut in the data header", cut(86), 2, 0},
      {"not DSD", patched(0, 0x20445358, 4), 0, 0},
      {"no channels", patched(52, 0, 4), 0, 0},
      {"seven channels", patched(52, 7, 4), 0, 0},
      {"block size 2048", patched(72, 2048, 4), 0, 0},
      {"bits per sample 0", patched(60, 0, 4), 2, 0},
      {"bits per sample 2", patched(60, 2, 4), 2, 0},
      {"no data chunk", patched(80, 0x41544144, 4), 2, 0},
      {"absurd sample count", patched(64, 0x4000000000000000ull, 8), 2, PPI_E_FAIL},
      {"overflowing sample count", patched(64, 0xFFFFFFFFFFFFFFFFull, 8), 2, 0},
      {"metadata offset past the end", patched(20, 0x7FFFFFFF, 8), 2, 2048},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(plugin_.OpenImage(c.image), 0);
    ASSERT_EQ(plugin_.ops().SetOutputMode(plugin_.self(), 1), 0);
    EXPECT_EQ(plugin_.Frames(), c.frames);
    WAVEFORMATEX format{};
    plugin_.ops().GetFormat(plugin_.self(), &format);
    EXPECT_EQ(format.nChannels, c.channels);
  }
}

TEST_F(DsfTest, TheLastBlockOfAnImageAndAShortLastBlockOfAFileAreRead) {
  const auto channels = fixtures::DsdPattern(2, 4096 * 2);
  const Bytes image = BuildDsf({}, channels);
  ASSERT_EQ(plugin_.OpenImage(image), 0);
  ASSERT_EQ(plugin_.ops().SetOutputMode(plugin_.self(), 1), 0);
  Bytes got;
  ASSERT_EQ(plugin_.ReadRange(1024, 2047, got), 0);  // ends exactly at the end of the image
  EXPECT_EQ(got, ExpectedRaw(channels, 1024, 1024));

  // A file cut inside its last block reads the missing bytes as zeros.
  fixtures::TempDir dir;
  const std::string path = dir.File("cut.dsf");
  fixtures::WriteFile(path, Bytes(image.begin(), image.end() - 96));
  ASSERT_EQ(
      plugin_.ops().OpenFile(plugin_.self(), platform::ToUtf16(platform::FromUtf8(path)).c_str()),
      0);
  ASSERT_EQ(plugin_.ReadRange(1024, 2047, got), 0);
  auto truncated = channels;
  std::fill(truncated[1].end() - 96, truncated[1].end(), 0);
  EXPECT_EQ(got, ExpectedRaw(truncated, 1024, 1024));
  EXPECT_EQ(plugin_.ReadRange(2048, 3071, got), PPI_E_FAIL);  // past the end of the file
}

// A small file whose header claims gigabytes at an absurd rate plays what it
// holds; no buffer is sized by the claim.
TEST_F(DsfTest, AClaimBeyondTheFileIsCutToWhatItHolds) {
  const auto channels = fixtures::DsdPattern(2, 4096 * 2);
  const std::uint64_t claimedPerChannel = std::uint64_t{1600} << 20;  // 1.6 GB each
  ASSERT_EQ(
      plugin_.OpenImage(BuildDsf(
          {.samplingFrequency = 0xFFFFFF00u, .sampleCount = claimedPerChannel * 8}, channels)),
      0);
  ASSERT_EQ(plugin_.ops().SetOutputMode(plugin_.self(), 1), 0);
  EXPECT_EQ(plugin_.Frames(), 2048);
  Bytes got;
  ASSERT_EQ(plugin_.ReadRange(0, 400'000'000, got), 0);
  EXPECT_EQ(got, ExpectedRaw(channels, 0, 2048));
  EXPECT_EQ(plugin_.ReadRange(2048, 400'000'000, got), PPI_E_FAIL);
}

TEST_F(DsfTest, EightBitFilesAreMostSignificantBitFirst) {
  const auto channels = fixtures::DsdPattern(2, 4096);
  Bytes image = BuildDsf({.bitsPerSample = 8}, channels);
  ASSERT_EQ(plugin_.OpenImage(image), 0);
  ASSERT_EQ(plugin_.ops().SetOutputMode(plugin_.self(), 1), 0);
  EXPECT_EQ(plugin_.Frames(), 1024);
  Bytes got;
  ASSERT_EQ(plugin_.ReadRange(0, 0, got), 0);
  EXPECT_EQ(got, (Bytes{channels[0][0], channels[0][1], channels[0][2], channels[0][3],
                        channels[1][0], channels[1][1], channels[1][2], channels[1][3]}));
}

// Through the player's own factory and plug-in host, as the player plays it.
TEST(DsfThroughThePlayer, ListsAndPlaysADsfFileExactly) {
  auto registry = std::make_shared<CPluginCtrl>();
  ASSERT_EQ(registry->LoadPluginsFrom(platform::FromUtf8(QP_PLUGIN_DIR)), 0);
  // The player's plug-in folder holds the DSF, DSDIFF and FLAC plug-ins.
  std::vector<std::wstring> names;
  for (std::size_t i = 0; i < registry->PluginCount(); ++i)
    names.push_back(registry->PluginName(i));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"DFF Plugin", L"DSF Plugin", L"FLAC Plugin"}));

  fixtures::TempDir dir;
  const auto channels = fixtures::DsdPattern(2, 352800 * 2 + 500);  // 2 s and a bit of DSD64
  const Bytes tag =
      fixtures::Id3v2Tag({fixtures::TextFrame("TIT2", 3, {0xC3, 0xA9, 't', 0xC3, 0xA9}),
                          fixtures::TextFrame("TPE1", 0, {'C', 'o', 'r', 'v', 0xE9})});
  const std::string path = dir.File("Song.DSF");
  fixtures::WriteFile(path, BuildDsf({.tag = tag}, channels));
  const std::wstring widePath = platform::FromUtf8(path);

  auto source = CreateSourceForPath(widePath, registry);
  ASSERT_EQ(source->Open({widePath, false, -96.0}), 0);
  TrackInfo info;
  ASSERT_EQ(source->GetTrackInfo(0, &info), 0);
  EXPECT_EQ(info.type, 4);
  EXPECT_EQ(info.formatName, L"DSF");
  EXPECT_EQ(info.title, L"\u00e9t\u00e9");
  EXPECT_EQ(info.artist, L"Corv\u00e9");
  EXPECT_EQ(info.format.nSamplesPerSec, 88200u);
  EXPECT_EQ(info.format.wBitsPerSample, 32);
  EXPECT_EQ(info.totalBytes, 2u * (352800 * 2 + 500));
  EXPECT_EQ(info.length, 151u);
  std::int32_t dsd = 0;
  EXPECT_EQ(source->IsDsd(&dsd), 0);
  EXPECT_EQ(dsd, 1);

  ASSERT_EQ(source->SetPlayRange(info.start, info.end, 0), 0);
  Bytes delivered;
  for (;;) {
    SourceBuffer chunk;
    const auto code = ReadChunk(*source, chunk);
    if (code != 0 || chunk.data() == nullptr) {
      EXPECT_EQ(code, kMusicEndOfRange);
      break;
    }
    delivered.insert(delivered.end(), chunk.data(), chunk.data() + chunk.size());
  }
  EXPECT_EQ(delivered, ExpectedRaw(channels, 0, (352800 * 2 + 500) / 4));

  // Layouts the plug-in cannot convert are refused when opened.
  const std::string seven = dir.File("seven.dsf");
  fixtures::WriteFile(seven, BuildDsf({.channels = 7}, fixtures::DsdPattern(7, 4096)));
  auto refused = CreateSourceForPath(platform::FromUtf8(seven), registry);
  EXPECT_EQ(refused->Open({platform::FromUtf8(seven), false, -96.0}), kMusicErrDecode);
}

}  // namespace
