#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/TextConv.h"
#include "sources/MusicDataCDDA.h"
#include "sources/SourceFactory.h"
#include "tests/fixtures/CdImageWriter.h"
#include "tests/fixtures/SameElements.h"
#include "tests/sources/SourceTestSupport.h"

namespace {

using fixtures::AudioTracks;
using fixtures::Bytes;
using fixtures::CdImage;
using fixtures::CdImageTrack;
using fixtures::CdSectorPattern;
using fixtures::kCdSectorBytes;
using sourcetest::ReadToEnd;

constexpr std::uint32_t kSecond = 75 * kCdSectorBytes;

std::int32_t OpenCd(CMusicData& source, const std::string& path) {
  return source.Open({platform::FromUtf8(path), false, -96.0});
}

std::vector<TrackInfo> ListTracks(CMusicData& source) {
  std::int32_t count = -1;
  EXPECT_EQ(source.GetTrackCount(&count), kMusicOk);
  std::vector<TrackInfo> tracks(static_cast<std::size_t>(std::max(count, 0)));
  for (std::int32_t i = 0; i < count; ++i) {
    EXPECT_EQ(source.GetTrackInfo(i, &tracks[static_cast<std::size_t>(i)]), kMusicOk);
  }
  return tracks;
}

std::wstring Title(int number) {
  wchar_t text[16];
  std::swprintf(text, 16, L"CD Track %02d", number);
  return text;
}

class CdSourceTest : public ::testing::Test {
 protected:
  CdImage Write(const std::vector<CdImageTrack>& tracks) {
    return fixtures::WriteCdImage(dir_.path(), "disc" + std::to_string(++images_), tracks);
  }
  // The disc of most tests: 12 audio tracks, 2351 sectors in all.
  const std::vector<CdImageTrack> twelve_ =
      AudioTracks({160, 175, 210, 151, 300, 188, 155, 240, 199, 170, 222, 181});
  CdImage WriteTwelveTracks() { return Write(twelve_); }
  fixtures::TempDir dir_;
  int images_ = 0;
};

TEST_F(CdSourceTest, ListsEveryAudioTrackWithItsSectors) {
  const CdImage image = WriteTwelveTracks();
  CMusicDataCDDA source;
  ASSERT_EQ(OpenCd(source, image.cuePath), kMusicOk);
  EXPECT_EQ(source.GetFileType(), nullptr);
  const std::vector<TrackInfo> tracks = ListTracks(source);
  ASSERT_EQ(tracks.size(), 12u);
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    SCOPED_TRACE(i);
    const TrackInfo& info = tracks[i];
    const std::uint32_t end = (i + 1 < 12 ? image.starts[i + 1] : image.leadOut) - 1;
    EXPECT_EQ(info.title, Title(static_cast<int>(i + 1)));
    EXPECT_EQ(info.path, platform::FromUtf8(image.cuePath));
    EXPECT_EQ(info.fileName, info.path);
    EXPECT_EQ(info.type, 1);
    EXPECT_EQ(info.formatName, L"CD-DA");
    EXPECT_EQ(info.artist, L"");
    EXPECT_EQ(info.start, image.starts[i]);
    EXPECT_EQ(info.end, end);
    EXPECT_EQ(info.length, end - image.starts[i] + 1);
    EXPECT_EQ(info.totalBytes, info.length * kCdSectorBytes);
    EXPECT_EQ(info.format.wFormatTag, 1);
    EXPECT_EQ(info.format.nChannels, 2);
    EXPECT_EQ(info.format.nSamplesPerSec, 44100u);
    EXPECT_EQ(info.format.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(info.format.nBlockAlign, 4);
    EXPECT_EQ(info.format.wBitsPerSample, 16);
    EXPECT_EQ(info.format.cbSize, 0);
  }

  TrackInfo info;
  EXPECT_EQ(source.GetTrackInfo(12, &info), kMusicErrParam);
  EXPECT_EQ(source.GetTrackInfo(-1, &info), kMusicErrParam);
  EXPECT_EQ(source.GetTrackInfo(0, nullptr), kMusicErrParam);
  EXPECT_EQ(source.GetTrackCount(nullptr), kMusicErrParam);
}

// Data tracks drop out wherever they lie; every audio track keeps its own
// number and its own sectors.
TEST_F(CdSourceTest, ListsOnlyTheAudioTracksWhereverDataTracksLie) {
  const CdImageTrack data{.sectors = 400, .audio = false};
  const struct {
    const char* name;
    std::vector<CdImageTrack> tracks;
    std::vector<int> listed;  // track numbers, in order
  } cases[] = {
      {"enhanced CD: data last", {{200}, {170}, {160}, data}, {1, 2, 3}},
      {"data first", {data, {200}, {170}, {160}}, {2, 3, 4}},
      {"data between", {{200}, data, {170}}, {1, 3}},
      {"data only", {data}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CdImage image = Write(c.tracks);
    CMusicDataCDDA source;
    ASSERT_EQ(OpenCd(source, image.cuePath), kMusicOk);
    const std::vector<TrackInfo> tracks = ListTracks(source);
    ASSERT_EQ(tracks.size(), c.listed.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
      const auto index = static_cast<std::size_t>(c.listed[i] - 1);
      EXPECT_EQ(tracks[i].title, Title(c.listed[i]));
      EXPECT_EQ(tracks[i].start, image.starts[index]);
      EXPECT_EQ(tracks[i].length, c.tracks[index].sectors);
    }
  }
}

TEST_F(CdSourceTest, TrackListStaysWithinTheDiscAndNinetyNineTracks) {
  {
    SCOPED_TRACE("a cue sheet of 101 tracks, repeating track 99, is more than a disc holds");
    std::vector<CdImageTrack> tracks(101, CdImageTrack{.sectors = 10});
    tracks[99].cueNumber = tracks[100].cueNumber = 99;
    const CdImage image = Write(tracks);
    CMusicDataCDDA source;
    EXPECT_EQ(OpenCd(source, image.cuePath), kMusicErrOpen);
  }
  {
    SCOPED_TRACE("an image cut short: the lead-out lies before the last track's start");
    const CdImage image = Write(AudioTracks({200, 200, 200}));
    std::filesystem::resize_file(image.binPath, std::uintmax_t{300} * kCdSectorBytes);
    CMusicDataCDDA source;
    ASSERT_EQ(OpenCd(source, image.cuePath), kMusicOk);
    const std::vector<TrackInfo> listed = ListTracks(source);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].start, 200u);
    EXPECT_EQ(listed[1].end, 299u);
    EXPECT_EQ(listed[1].totalBytes, 100 * kCdSectorBytes);
  }
}

TEST(ListAudioTracks, KeepsEveryTrackInsideTheDisc) {
  using platform::CdToc;
  const struct {
    const char* name;
    CdToc toc;
    std::vector<CddaTrack> expected;
  } cases[] = {
      {"plain", {{{1, true, 0}, {2, true, 100}}, 250}, {{1, 0, 99}, {2, 100, 249}}},
      {"gap before data", {{{1, true, 0}, {2, false, 500}}, 900}, {{1, 0, 499}}},
      {"lead-out before a start", {{{1, true, 0}, {2, true, 300}}, 200}, {{1, 0, 199}}},
      {"starts out of order",
       {{{1, true, 0}, {2, true, 300}, {3, true, 100}}, 400},
       {{1, 0, 299}, {3, 100, 399}}},
      {"two tracks at one address", {{{1, true, 50}, {2, true, 50}}, 100}, {{2, 50, 99}}},
      {"empty", {{}, 0}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<CddaTrack> tracks = ListAudioTracks(c.toc);
    ASSERT_EQ(tracks.size(), c.expected.size());
    for (std::size_t i = 0; i < tracks.size(); ++i) {
      EXPECT_EQ(tracks[i].number, c.expected[i].number);
      EXPECT_EQ(tracks[i].start, c.expected[i].start);
      EXPECT_EQ(tracks[i].end, c.expected[i].end);
    }
  }

  CdToc many;
  for (int n = 1; n <= 120; ++n)
    many.tracks.push_back({n, true, static_cast<std::uint32_t>(n)});
  many.leadOut = 1000;
  EXPECT_EQ(ListAudioTracks(many).size(), platform::kCdMaxTracks);
}

TEST_F(CdSourceTest, PlaysARangeASecondAtATimeExactly) {
  const CdImage image = WriteTwelveTracks();
  CMusicDataCDDA source;
  ASSERT_EQ(OpenCd(source, image.cuePath), kMusicOk);

  ASSERT_EQ(source.SetPlayRange(1000, 1999, 0), kMusicOk);
  const sourcetest::Delivery delivery = ReadToEnd(source);
  EXPECT_EQ(delivery.endCode, kMusicEndOfRange);
  std::vector<std::uint32_t> expectedChunks(13, kSecond);
  expectedChunks.push_back(25 * kCdSectorBytes);
  EXPECT_EQ(delivery.chunkSizes, expectedChunks);
  EXPECT_TRUE(fixtures::SameElements(delivery.bytes, CdSectorPattern(1000, 1000)));
  SourceBuffer after;
  EXPECT_EQ(ReadChunk(source, after), kMusicEndOfRange);
  EXPECT_EQ(after.data(), nullptr);

  const struct {
    std::uint32_t first, last, offset;
    std::uint32_t expectedStart;
  } ranges[] = {
      {0, 99, 150, 98},                    // a start past the end plays from last - 1
      {500, 600, 20, 520},                 // the offset moves the start
      {0, 0, 0, 0},                        // one sector
      {2200, image.leadOut - 1, 0, 2200},  // the disc's last sector
      {image.starts[3], image.starts[5], 0, image.starts[3]},  // across tracks
  };
  for (const auto& r : ranges) {
    SCOPED_TRACE(r.first);
    ASSERT_EQ(source.SetPlayRange(r.first, r.last, r.offset), kMusicOk);
    const sourcetest::Delivery range = ReadToEnd(source);
    EXPECT_EQ(range.endCode, kMusicEndOfRange);
    EXPECT_TRUE(fixtures::SameElements(
        range.bytes, CdSectorPattern(r.expectedStart, r.last - r.expectedStart + 1)));
  }
}

TEST_F(CdSourceTest, ReadAllDeliversTheWholeRangeInOneBuffer) {
  const CdImage image = WriteTwelveTracks();
  CMusicDataCDDA source;
  ASSERT_EQ(OpenCd(source, image.cuePath), kMusicOk);
  ASSERT_EQ(source.SetPlayRange(1000, 1999, 0), kMusicOk);
  void* data = nullptr;
  std::uint32_t size = 0;
  ASSERT_EQ(source.ReadAll(&data, &size), kMusicOk);
  SourceBuffer all(source, data, size);
  ASSERT_EQ(size, 1000 * kCdSectorBytes);
  EXPECT_TRUE(
      fixtures::SameElements(Bytes(all.data(), all.data() + size), CdSectorPattern(1000, 1000)));
  SourceBuffer next;
  EXPECT_EQ(ReadChunk(source, next), kMusicEndOfRange);

  EXPECT_EQ(source.ReadAll(nullptr, &size), kMusicErrParam);
  EXPECT_EQ(source.Read(&data, nullptr), kMusicErrParam);
}

TEST_F(CdSourceTest, AReadPastTheLeadOutFailsRatherThanDeliverStaleBytes) {
  const CdImage image = Write(AudioTracks({300}));
  CMusicDataCDDA source;
  ASSERT_EQ(OpenCd(source, image.cuePath), kMusicOk);
  ASSERT_EQ(source.SetPlayRange(290, 302, 0), kMusicOk);  // one command, 3 sectors too many
  SourceBuffer chunk;
  EXPECT_EQ(ReadChunk(source, chunk), kMusicErrRead);
  EXPECT_EQ(chunk.data(), nullptr);
}

// Taking the disc out is the image shrinking under the open device; putting
// a disc back is a new file in its place, which only a device opened again
// can see.
TEST_F(CdSourceTest, AnEjectedDiscFailsTheReadAndTheNextReadOpensTheDriveAgain) {
  const CdImage image = WriteTwelveTracks();
  const Bytes disc = CdSectorPattern(0, image.leadOut);
  const auto reinsert = [&] {
    const std::string fresh = dir_.File("fresh.bin");
    fixtures::WriteFile(fresh, disc);
    std::filesystem::rename(fresh, image.binPath);
  };
  CMusicDataCDDA source;
  ASSERT_EQ(OpenCd(source, image.cuePath), kMusicOk);
  ASSERT_EQ(source.SetPlayRange(0, 999, 0), kMusicOk);
  Bytes delivered;
  const auto readOne = [&] {
    SourceBuffer chunk;
    const std::int32_t result = ReadChunk(source, chunk);
    if (chunk.data() != nullptr)
      delivered.insert(delivered.end(), chunk.data(), chunk.data() + chunk.size());
    return result;
  };
  ASSERT_EQ(readOne(), kMusicOk);
  ASSERT_EQ(readOne(), kMusicOk);

  // Gone in the middle of the third second: its first commands still read.
  std::filesystem::resize_file(image.binPath, std::uintmax_t{170} * kCdSectorBytes);
  EXPECT_EQ(readOne(), kMusicErrRead);
  EXPECT_EQ(delivered.size(), 2 * kSecond);
  reinsert();
  EXPECT_EQ(readOne(), kMusicOk);

  // No disc at all: the drive cannot be opened until one is back.
  std::filesystem::resize_file(image.binPath, 0);
  EXPECT_EQ(readOne(), kMusicErrRead);
  std::filesystem::remove(image.cuePath);
  EXPECT_EQ(readOne(), kMusicErrOpen);
  fixtures::WriteText(
      image.cuePath,
      fixtures::CdCueSheet(std::filesystem::path(image.binPath).filename().string(), twelve_));
  reinsert();

  const sourcetest::Delivery rest = ReadToEnd(source);
  EXPECT_EQ(rest.endCode, kMusicEndOfRange);
  delivered.insert(delivered.end(), rest.bytes.begin(), rest.bytes.end());
  // Nothing skipped, nothing doubled across the failures.
  EXPECT_TRUE(fixtures::SameElements(delivered, CdSectorPattern(0, 1000)));
}

TEST_F(CdSourceTest, OpenFailsWithoutADrive) {
  fixtures::WriteText(dir_.File("junk.cue"), "no cue sheet at all\n");
  for (const std::string& path : {std::string(), dir_.File("none.cue"), dir_.File("junk.cue")}) {
    SCOPED_TRACE(path);
    CMusicDataCDDA source;
    EXPECT_EQ(OpenCd(source, path), kMusicErrOpen);
    std::int32_t count = -1;
    EXPECT_EQ(source.GetTrackCount(&count), kMusicOk);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(source.SetPlayRange(0, 74, 0), kMusicOk);
    SourceBuffer chunk;
    EXPECT_EQ(ReadChunk(source, chunk), kMusicErrOpen);
  }
  // Before any range is set there is nothing to read.
  const CdImage image = Write(AudioTracks({200}));
  CMusicDataCDDA source;
  ASSERT_EQ(OpenCd(source, image.cuePath), kMusicOk);
  SourceBuffer chunk;
  EXPECT_EQ(ReadChunk(source, chunk), kMusicEndOfRange);
}

TEST_F(CdSourceTest, TheStoredTypeCodeMakesACdSource) {
  const CdImage image = WriteTwelveTracks();
  const std::unique_ptr<CMusicData> source =
      CreateSourceForType(kSourceTypeCdda, platform::FromUtf8(image.cuePath), nullptr);
  ASSERT_NE(dynamic_cast<CMusicDataCDDA*>(source.get()), nullptr);
  ASSERT_EQ(OpenCd(*source, image.cuePath), kMusicOk);
  EXPECT_EQ(ListTracks(*source).size(), 12u);
}

// Two sources, as the playlist lists a disc while a track of it plays, each
// on its own thread: every device access waits for the process-wide lock,
// and each source's data stay exact.
TEST_F(CdSourceTest, SourcesOnTwoThreadsShareTheDrivesSafely) {
  const CdImage image = WriteTwelveTracks();
  const auto play = [&](std::uint32_t first, std::uint32_t last) {
    CMusicDataCDDA source;
    if (OpenCd(source, image.cuePath) != kMusicOk) return false;
    for (int round = 0; round < 3; ++round) {
      source.SetPlayRange(first, last, 0);
      const sourcetest::Delivery delivery = ReadToEnd(source);
      if (delivery.endCode != kMusicEndOfRange ||
          delivery.bytes != CdSectorPattern(first, last - first + 1)) {
        return false;
      }
    }
    return true;
  };
  auto a = std::async(std::launch::async, play, 0, 1199);
  auto b = std::async(std::launch::async, play, 1000, image.leadOut - 1);
  EXPECT_TRUE(a.get());
  EXPECT_TRUE(b.get());

  CMusicDataCDDA source;
  ASSERT_EQ(OpenCd(source, image.cuePath), kMusicOk);
  ASSERT_EQ(source.SetPlayRange(0, 74, 0), kMusicOk);
  std::unique_lock held(platform::CdAccessLock());
  auto read = std::async(std::launch::async, [&] {
    SourceBuffer chunk;
    return ReadChunk(source, chunk);
  });
  EXPECT_EQ(read.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  held.unlock();
  EXPECT_EQ(read.get(), kMusicOk);
}

}  // namespace
