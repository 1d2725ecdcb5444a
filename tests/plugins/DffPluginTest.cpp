// DffSource.ppi against DsfSource.ppi: the same DSD data stored both ways
// must reach the player byte for byte alike in both delivery modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/fixtures/DffWriter.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/Id3Writer.h"
#include "tests/plugins/LoadedPlugin.h"

namespace {

using fixtures::Bytes;
using plugintest::LoadedPlugin;
using TagMap = std::map<std::string, std::string>;

const std::string kDffPlugin = std::string(QP_PLUGIN_DIR) + "/DffSource.ppi";
const std::string kDsfPlugin = std::string(QP_PLUGIN_DIR) + "/DsfSource.ppi";

// DSF bytes hold the earliest sample lowest, DSDIFF bytes highest.
std::vector<Bytes> MsbFirst(const std::vector<Bytes>& dsf) {
  std::vector<Bytes> out = dsf;
  for (auto& channel : out) {
    for (auto& b : channel) {
      std::uint8_t r = 0;
      for (int bit = 0; bit < 8; ++bit)
        r |= static_cast<std::uint8_t>(((b >> bit) & 1) << (7 - bit));
      b = r;
    }
  }
  return out;
}

struct Opened {
  explicit Opened(const std::string& path) : plugin(path) {}
  bool Open(const Bytes& image, int32_t mode) {
    return plugin.loaded() && plugin.Initialize() == 0 &&
           plugin.ops().SetOutputMode(plugin.self(), mode) == 0 && plugin.OpenImage(image) == 0;
  }
  WAVEFORMATEX Format() const {
    WAVEFORMATEX format{};
    plugin.ops().GetFormat(plugin.self(), &format);
    return format;
  }
  const TagMap& Tags() const {
    const void* dictionary = nullptr;
    plugin.ops().GetTagMap(plugin.self(), &dictionary);
    return *static_cast<const TagMap*>(dictionary);
  }
  LoadedPlugin plugin;
};

struct DsdCase {
  std::uint32_t channels;
  std::uint32_t rate;
};

TEST(DffPlugin, DeliversWhatTheDsfPluginDeliversForTheSameData) {
  const DsdCase cases[] = {{2, 2822400}, {1, 5644800}, {6, 11289600}, {2, 22579200}, {5, 3072000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.channels) + " channels at " + std::to_string(c.rate));
    const auto data = fixtures::DsdPattern(c.channels, 4096 * 3 + 1000);
    const Bytes dsf =
        fixtures::BuildDsf({.channels = c.channels, .samplingFrequency = c.rate}, data);
    const Bytes dff = fixtures::BuildDff({.samplingFrequency = c.rate}, MsbFirst(data));
    for (const int32_t mode : {PPI_MODE_RAW_DSD, PPI_MODE_DOP}) {
      SCOPED_TRACE(mode);
      Opened fromDsf(kDsfPlugin), fromDff(kDffPlugin);
      ASSERT_TRUE(fromDsf.Open(dsf, mode));
      ASSERT_TRUE(fromDff.Open(dff, mode));
      const WAVEFORMATEX a = fromDsf.Format(), b = fromDff.Format();
      EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
      ASSERT_GT(fromDsf.plugin.Frames(), 0);
      EXPECT_EQ(fromDff.plugin.Frames(), fromDsf.plugin.Frames());
      int32_t dsfSize = 0, dffSize = 0, alignment = 0;
      fromDsf.plugin.ops().GetDataSize(fromDsf.plugin.self(), &dsfSize);
      fromDff.plugin.ops().GetDataSize(fromDff.plugin.self(), &dffSize);
      EXPECT_EQ(dffSize, dsfSize);
      fromDff.plugin.ops().GetAlignment(fromDff.plugin.self(), &alignment);
      EXPECT_EQ(alignment, 2048);
      const int32_t last = fromDsf.plugin.Frames() - 1;
      // The whole file, a range starting inside a DSF block, and one past the end.
      for (const auto& [first, end] : {std::pair{0, last}, {2049, 5000}, {last - 2, last + 9}}) {
        Bytes expected, got;
        ASSERT_EQ(fromDsf.plugin.ReadRange(first, end, expected), 0);
        ASSERT_EQ(fromDff.plugin.ReadRange(first, end, got), 0);
        EXPECT_EQ(got, expected) << "frames " << first << " to " << end;
      }
    }
  }
}

TEST(DffPlugin, DstCompressedFilesAreRefusedWithTheirReason) {
  const Bytes dst =
      fixtures::BuildDff({.compression = "DST "}, MsbFirst(fixtures::DsdPattern(2, 4096)));
  Opened opened(kDffPlugin);
  ASSERT_TRUE(opened.plugin.loaded());
  ASSERT_EQ(opened.plugin.Initialize(), 0);
  EXPECT_EQ(opened.plugin.OpenImage(dst), PPI_E_FAIL);
  EXPECT_EQ(opened.Tags().at("Error"), "DST-compressed DSDIFF files cannot be played.");
  EXPECT_EQ(opened.Format().nChannels, 0);
}

TEST(DffPlugin, TagsFromTheId3ChunkThenDiin) {
  const auto data = MsbFirst(fixtures::DsdPattern(2, 4096));
  const Bytes id3 = fixtures::Id3v2Tag({fixtures::TextFrame("TIT2", 3, {'I', 'd', '3'}),
                                        fixtures::TextFrame("TALB", 0, {'A', 'l', 'b'}),
                                        fixtures::TextFrame("TRCK", 0, {'9'})});
  const struct {
    const char* name;
    fixtures::DffSpec spec;
    std::string title, artist;
    std::uint8_t titleEncoding, artistEncoding;
  } cases[] = {
      {"DIIN only, UTF-8 and Latin-1",
       {.title = "\xC3\xA9t\xC3\xA9", .artist = "Corv\xE9"},
       "\xC3\xA9t\xC3\xA9",
       "Corv\xE9",
       3,
       0},
      {"ID3 first, DIIN fills the rest",
       {.title = "Diin", .artist = "Player", .id3 = id3},
       "Id3",
       "Player",
       3,
       3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Opened opened(kDffPlugin);
    ASSERT_TRUE(opened.Open(fixtures::BuildDff(c.spec, data), PPI_MODE_RAW_DSD));
    char title[64] = {}, artist[64] = {};
    int32_t titleEncoding = -1, artistEncoding = -1;
    ASSERT_EQ(
        opened.plugin.ops().GetTitleArtist(opened.plugin.self(), title, sizeof title,
                                           &titleEncoding, artist, sizeof artist, &artistEncoding),
        0);
    EXPECT_EQ(std::string(title), c.title);
    EXPECT_EQ(std::string(artist), c.artist);
    EXPECT_EQ(titleEncoding, c.titleEncoding);
    EXPECT_EQ(artistEncoding, c.artistEncoding);
  }
  Opened opened(kDffPlugin);
  ASSERT_TRUE(opened.Open(fixtures::BuildDff({.id3 = id3}, data), PPI_MODE_RAW_DSD));
  EXPECT_EQ(opened.Tags().at("Album"), std::string("Alb\0\0", 5));
  EXPECT_EQ(opened.Tags().at("Track"), std::string("9\0\0", 3));
}

// Big-endian 64-bit size at `offset`.
void SetSize(Bytes& file, std::size_t offset, std::uint64_t size) {
  for (int i = 0; i < 8; ++i)
    file.at(offset + i) = static_cast<std::uint8_t>(size >> (8 * (7 - i)));
}

std::size_t ChunkAt(const Bytes& file, const char* id) {
  const auto at = std::search(file.begin(), file.end(), id, id + 4);
  return static_cast<std::size_t>(at - file.begin());
}

TEST(DffPlugin, SizesThatLieAreHeldAgainstTheFile) {
  const auto data = MsbFirst(fixtures::DsdPattern(2, 8192));
  const Bytes good = fixtures::BuildDff({}, data);
  // A sound chunk claiming more than the file holds plays what it holds.
  Opened claim(kDffPlugin);
  ASSERT_TRUE(claim.Open(fixtures::BuildDff({.dataSize = 1ull << 30}, data), PPI_MODE_RAW_DSD));
  EXPECT_EQ(claim.plugin.Frames(), 8192 / 4);

  Bytes hugeForm = good;
  SetSize(hugeForm, 4, ~0ull);
  Bytes hugeProp = good;
  SetSize(hugeProp, ChunkAt(good, "PROP") + 4, 1ull << 62);
  Bytes hugeChannels = good;
  SetSize(hugeChannels, ChunkAt(good, "CHNL") + 4, 1ull << 40);
  Bytes badRate = good;
  badRate.at(ChunkAt(good, "FS  ") + 12 + 3) ^= 1;
  const Bytes cut(good.begin(), good.begin() + static_cast<long>(ChunkAt(good, "CMPR")));
  const struct {
    const char* name;
    const Bytes& file;
    int32_t frames;
  } cases[] = {{"FRM8 larger than the file", hugeForm, 8192 / 4},
               {"PROP larger than the file", hugeProp, 0},
               {"CHNL larger than its PROP", hugeChannels, 0},
               {"a rate that is no DSD rate", badRate, 0},
               {"cut inside the properties", cut, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Opened opened(kDffPlugin);
    ASSERT_TRUE(opened.Open(c.file, PPI_MODE_DOP));
    EXPECT_EQ(opened.plugin.Frames(), c.frames == 0 ? 0 : c.frames * 2);
  }
}

}  // namespace
