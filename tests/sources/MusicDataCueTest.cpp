#include "sources/MusicDataCue.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/Paths.h"
#include "platform/TextConv.h"
#include "sources/MusicDataMP3.h"
#include "sources/SourceFactory.h"
#include "tests/fixtures/CueWriter.h"
#include "tests/fixtures/Mp3Fixtures.h"
#include "tests/fixtures/WavWriter.h"

namespace {

using fixtures::CueEncoding;
using platform::FromUtf8;

// What a sheet lists: Open's result and every track record.
struct Listing {
  std::int32_t code = 0;
  std::vector<TrackInfo> tracks;
};

Listing ListSheet(const std::string& path) {
  Listing listing;
  CMusicDataCue cue;
  listing.code = cue.Open({.path = FromUtf8(path)});
  std::int32_t count = -1;
  EXPECT_EQ(cue.GetTrackCount(&count), kMusicOk);
  for (std::int32_t t = 0; t < count; ++t) {
    TrackInfo info;
    EXPECT_EQ(cue.GetTrackInfo(t, &info), kMusicOk);
    listing.tracks.push_back(std::move(info));
  }
  return listing;
}

using Ranges = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

Ranges RangesOf(const Listing& listing) {
  Ranges ranges;
  for (const auto& track : listing.tracks) {
    ranges.emplace_back(track.start, track.end);
    EXPECT_EQ(track.length, track.end - track.start + 1);
  }
  return ranges;
}

// Audio at 75 samples a second, 8-bit mono: one byte per CD frame, so files
// of long play times stay small.
const fixtures::WavFormat kFrameAudio{1, 1, 75, 8};

class MusicDataCueTest : public ::testing::Test {
 protected:
  std::string Audio(const std::string& name, std::uint32_t frames,
                    const fixtures::WavFormat& format = kFrameAudio) {
    const std::string path = dir_.File(name);
    fixtures::WriteWav(path, format,
                       fixtures::AudioPattern(std::size_t{frames} * format.BlockAlign()));
    return path;
  }
  Listing List(const std::string& text, CueEncoding encoding = CueEncoding::kUtf8) {
    const std::string path = dir_.File("sheet.cue");
    fixtures::WriteCue(path, text, encoding);
    return ListSheet(path);
  }
  fixtures::TempDir dir_;
};

TEST_F(MusicDataCueTest, ListsEachTrackAsARangeOfItsAudioFile) {
  const std::string audio = Audio("side a.wav", 2000);
  const Listing listing = List(
      "REM GENRE Classical\r\n"
      "PERFORMER \"Album Artist\"\r\n"
      "TITLE \"The Album\"\r\n"
      "FILE \"side a.wav\" WAVE\r\n"
      "  TRACK 01 AUDIO\r\n"
      "    TITLE \"Opening\"\r\n"
      "    INDEX 01 00:00:00\r\n"
      "  track 02 audio\r\n"
      "    title \"Unclosed quote\r\n"
      "    performer 'Guest \"Player\"'\r\n"
      "    index 01 00:10:00\r\n"
      "  TRACK 03 AUDIO\r\n"
      "    FLAGS DCP\r\n"
      "    INDEX 00 00:20:00\r\n"
      "    INDEX 01 00:21:00\r\n");
  ASSERT_EQ(listing.code, kMusicOk);
  ASSERT_EQ(listing.tracks.size(), 3u);
  EXPECT_EQ(RangesOf(listing), (Ranges{{0, 749}, {750, 1499}, {1575, 1999}}));
  for (const auto& track : listing.tracks) {
    EXPECT_EQ(track.path, FromUtf8(audio));
    EXPECT_EQ(track.fileName, L"side a.wav");
    EXPECT_EQ(track.type, kSourceTypeWave);
    EXPECT_EQ(track.formatName, L"WAVE");
    EXPECT_EQ(track.totalBytes, 2000u);  // the whole file's
    EXPECT_EQ(track.format.nSamplesPerSec, 75u);
    EXPECT_EQ(track.format.nChannels, 1u);
    EXPECT_EQ(track.album, L"");
  }
  EXPECT_EQ(listing.tracks[0].title, L"Opening");
  EXPECT_EQ(listing.tracks[0].artist, L"Album Artist");
  EXPECT_EQ(listing.tracks[1].title, L"Unclosed quote");
  EXPECT_EQ(listing.tracks[1].artist, L"Guest \"Player\"");
  EXPECT_EQ(listing.tracks[2].title, L"Track 03");
  EXPECT_EQ(listing.tracks[2].artist, L"Album Artist");
}

TEST_F(MusicDataCueTest, AnswersLikeEverySourceOutsideItsTracks) {
  Audio("a.wav", 100);
  const std::string sheet = dir_.File("one.cue");
  fixtures::WriteCue(sheet, "FILE a.wav WAVE\nTRACK 1 AUDIO\nINDEX 1 00:00:00\n");
  CMusicDataCue cue;
  ASSERT_NE(cue.GetFileType(), nullptr);
  EXPECT_EQ(std::wstring(cue.GetFileType()->description), L"Cue Sheet");
  EXPECT_EQ(std::wstring(cue.GetFileType()->extension), L"cue");
  ASSERT_EQ(cue.Open({.path = FromUtf8(sheet)}), kMusicOk);
  TrackInfo info;
  EXPECT_EQ(cue.GetTrackInfo(-1, &info), kMusicErrParam);
  EXPECT_EQ(cue.GetTrackInfo(1, &info), kMusicErrParam);
  EXPECT_EQ(cue.GetTrackInfo(0, nullptr), kMusicErrParam);
  EXPECT_EQ(cue.GetTrackCount(nullptr), kMusicErrParam);
  // It lists only; its tracks play through their audio file's source.
  void* data = &info;
  std::uint32_t size = 7;
  EXPECT_EQ(cue.Read(&data, &size), kMusicOk);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);
}

TEST_F(MusicDataCueTest, IndexLinesPlaceTheTracksInTheirFile) {
  Audio("long.wav", 460000);  // 102 minutes 13 seconds 25 frames
  const std::string head =
      "FILE long.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n";
  const struct {
    const char* name;
    std::string tail;  // the second track's lines
    std::int32_t code;
    Ranges ranges;
  } cases[] = {
      {"a pregap ends the track before",
       "INDEX 00 03:00:00\nINDEX 01 03:02:00\n",
       kMusicOk,
       {{0, 13499}, {13650, 459999}}},
      {"a pregap at 00:00:00 is none",
       "INDEX 00 00:00:00\nINDEX 01 00:05:00\n",
       kMusicOk,
       {{0, 374}, {375, 459999}}},
      {"minutes of three digits",
       "INDEX 01 101:30:10\n",
       kMusicOk,
       {{0, 456759}, {456760, 459999}}},
      {"fields of one digit", "INDEX 01 3:2:0\n", kMusicOk, {{0, 13649}, {13650, 459999}}},
      {"the last frame of the file",
       "INDEX 01 102:13:24\n",
       kMusicOk,
       {{0, 459998}, {459999, 459999}}},
      {"a tab-indented line is no command",
       "\tINDEX 02 00:00:00\nINDEX 01 00:01:00\n",
       kMusicOk,
       {{0, 74}, {75, 459999}}},
      {"index number 2", "INDEX 01 00:01:00\nINDEX 02 00:02:00\n", kMusicErrDecode, {}},
      {"an index without its time", "INDEX 01\n", kMusicErrDecode, {}},
      {"a time past the end of the file", "INDEX 01 102:13:25\n", kMusicErrDecode, {}},
      {"a time beyond 32 bits", "INDEX 01 99999999999:00:00\n", kMusicErrDecode, {}},
      {"a track before the one it follows", "INDEX 01 00:00:00\n", kMusicErrDecode, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Listing listing = List(head + c.tail);
    EXPECT_EQ(listing.code, c.code);
    EXPECT_EQ(RangesOf(listing), c.ranges);
  }
}

TEST_F(MusicDataCueTest, SheetsThatDoNotFitTheirAudioAreRefusedWhole) {
  Audio("a.wav", 1000);
  Audio("empty.wav", 0);
  fixtures::WriteText(dir_.File("not audio.wav"), "RIFF but nothing more");
  const std::string track = "TRACK 01 AUDIO\nINDEX 01 00:00:00\n";
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"a FLAC file", "FILE a.flac WAVE\n" + track},
      {"a missing audio file", "FILE gone.wav WAVE\n" + track},
      {"a file that is no WAVE", "FILE \"not audio.wav\" WAVE\n" + track},
      {"an empty audio file", "FILE empty.wav WAVE\n" + track},
      {"a file type other than WAVE", "FILE a.wav MP3\n" + track},
      {"a FILE line of two tokens", "FILE a.wav\n" + track},
      {"a track type other than AUDIO", "FILE a.wav WAVE\nTRACK 01 MODE1/2352\n"},
      {"a PERFORMER without a value", "PERFORMER\nFILE a.wav WAVE\n" + track},
      {"a TITLE without a value", "FILE a.wav WAVE\n" + track + "TITLE  \n"},
      {"a track before any FILE", track + "FILE a.wav WAVE\n"},
      {"a second track beyond the file",
       "FILE a.wav WAVE\n" + track + "TRACK 02 AUDIO\nINDEX 01 00:20:00\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Listing listing = List(c.text);
    EXPECT_EQ(listing.code, kMusicErrDecode);
    EXPECT_TRUE(listing.tracks.empty());
  }

  // No sheet is this large; it is refused without being read.
  fixtures::WriteText(dir_.File("huge.cue"), "");
  std::filesystem::resize_file(dir_.File("huge.cue"), std::uintmax_t{1} << 32);
  EXPECT_EQ(ListSheet(dir_.File("huge.cue")).code, kMusicErrDecode);

  EXPECT_EQ(ListSheet(dir_.File("missing.cue")).code, kMusicErrOpen);
  std::filesystem::create_directory(dir_.File("folder.cue"));
  EXPECT_EQ(ListSheet(dir_.File("folder.cue")).code, kMusicErrOpen);
}

TEST_F(MusicDataCueTest, TrackNumbersLeftOutGiveEmptyRecords) {
  Audio("a.wav", 1000);
  const Listing listing = List(
      "FILE a.wav WAVE\n"
      "TRACK 01 AUDIO\nINDEX 01 00:00:00\n"
      "TRACK 03 AUDIO\nINDEX 01 00:04:00\n"
      "TRACK 101 AUDIO\nINDEX 05 00:00:00\nTITLE Ignored\n");
  ASSERT_EQ(listing.code, kMusicOk);
  ASSERT_EQ(listing.tracks.size(), 3u);
  const TrackInfo& missing = listing.tracks[1];
  EXPECT_EQ(missing.path, L"");
  EXPECT_EQ(missing.type, 0);
  EXPECT_EQ(missing.title, L"");
  EXPECT_EQ(missing.length, 0u);
  // The first track still ends where the third begins.
  EXPECT_EQ(listing.tracks[0].end, 299u);
  EXPECT_EQ(listing.tracks[2].title, L"Track 03");
  EXPECT_EQ(listing.tracks[2].start, 300u);
  EXPECT_EQ(listing.tracks[2].end, 999u);
}

TEST_F(MusicDataCueTest, EachFileLineStartsTheTracksOfItsOwnAudio) {
  const std::string a = Audio("a.wav", 1000);
  const std::string b = Audio("b.wav", 600, {1, 2, 75, 16});
  Listing listing = List(
      "FILE a.wav WAVE\n"
      "TRACK 01 AUDIO\nINDEX 01 00:00:00\n"
      "TRACK 02 AUDIO\nINDEX 01 00:05:00\n"
      "FILE b.wav WAVE\n"
      "TRACK 03 AUDIO\nINDEX 01 00:00:00\n"
      "TRACK 04 AUDIO\nINDEX 00 00:02:00\nINDEX 01 00:03:00\n");
  ASSERT_EQ(listing.code, kMusicOk);
  EXPECT_EQ(RangesOf(listing), (Ranges{{0, 374}, {375, 999}, {0, 149}, {225, 599}}));
  ASSERT_EQ(listing.tracks.size(), 4u);
  EXPECT_EQ(listing.tracks[1].path, FromUtf8(a));
  EXPECT_EQ(listing.tracks[1].totalBytes, 1000u);
  EXPECT_EQ(listing.tracks[2].path, FromUtf8(b));
  EXPECT_EQ(listing.tracks[2].fileName, L"b.wav");
  EXPECT_EQ(listing.tracks[2].totalBytes, 2400u);
  EXPECT_EQ(listing.tracks[2].format.nChannels, 2u);

  // The gap before track 2 kept at the end of the first file: the FILE line
  // comes between TRACK and INDEX 01, and the track plays from the second.
  listing = List(
      "FILE a.wav WAVE\n"
      "TRACK 01 AUDIO\nINDEX 01 00:00:00\n"
      "TRACK 02 AUDIO\nINDEX 00 00:10:00\n"
      "FILE b.wav WAVE\nINDEX 01 00:00:00\n");
  ASSERT_EQ(listing.code, kMusicOk);
  EXPECT_EQ(RangesOf(listing), (Ranges{{0, 999}, {0, 599}}));
  ASSERT_EQ(listing.tracks.size(), 2u);
  EXPECT_EQ(listing.tracks[0].path, FromUtf8(a));
  EXPECT_EQ(listing.tracks[1].path, FromUtf8(b));
  EXPECT_EQ(listing.tracks[1].fileName, L"b.wav");
  EXPECT_EQ(listing.tracks[1].format.nChannels, 2u);
}

TEST_F(MusicDataCueTest, FileNamesAreFoundFromTheSheetsFolder) {
  std::filesystem::create_directories(dir_.File("sheets"));
  std::filesystem::create_directories(dir_.File("audio/disc 1"));
  fixtures::WriteWav(dir_.File("audio/disc 1/a.wav"), kFrameAudio, fixtures::AudioPattern(100));
  fixtures::WriteWav(dir_.File("sheets/b.wav"), kFrameAudio, fixtures::AudioPattern(100));
  // A backslash in the sheet's name is no folder separator here.
  const std::string sheet = dir_.File("sheets/live \\ studio.cue");
  const struct {
    std::string fileName;
    std::string path;
  } cases[] = {
      {"b.wav", dir_.File("sheets/b.wav")},
      {"../audio/disc 1/a.wav", dir_.File("sheets/../audio/disc 1/a.wav")},
      // A sheet made on Windows.
      {"..\\audio\\disc 1\\a.wav", dir_.File("sheets/../audio/disc 1/a.wav")},
      {dir_.File("audio/disc 1/a.wav"), dir_.File("audio/disc 1/a.wav")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fileName);
    fixtures::WriteCue(sheet, "FILE \"" + c.fileName + "\" WAVE\nTRACK 01 AUDIO\n");
    const Listing listing = ListSheet(sheet);
    ASSERT_EQ(listing.code, kMusicOk);
    ASSERT_EQ(listing.tracks.size(), 1u);
    EXPECT_EQ(listing.tracks[0].path, FromUtf8(c.path));
    EXPECT_EQ(listing.tracks[0].fileName, platform::FileName(FromUtf8(c.path)));
    EXPECT_EQ(listing.tracks[0].end, 99u);
  }
}

TEST_F(MusicDataCueTest, TextIsDecodedByItsByteOrderMarkElseAsShiftJis) {
  // U+4E0A (上) holds a line-feed byte in UTF-16; ソ and 表 hold a
  // backslash byte in Shift_JIS.
  const std::string title1 = "表のソナタ", title2 = "上を向いて", performer = "山田 太郎";
  const auto sheet = [&](const std::string& audioName) {
    return "PERFORMER \"" + performer + "\"\r\nFILE \"" + audioName +
           "\" WAVE\r\n  TRACK 01 AUDIO\r\n    TITLE \"" + title1 +
           "\"\r\n    INDEX 01 00:00:00\r\n  TRACK 02 AUDIO\r\n    TITLE " + title2 +
           "\r\n    INDEX 01 00:01:00\r\n";
  };
  const std::string audio = Audio("ソナタ上巻.wav", 300);
  for (const auto encoding : {CueEncoding::kUtf8WithBom, CueEncoding::kUtf16LeWithBom,
                              CueEncoding::kUtf16BeWithBom, CueEncoding::kShiftJis}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    const Listing listing = List(sheet("ソナタ上巻.wav"), encoding);
    ASSERT_EQ(listing.code, kMusicOk);
    ASSERT_EQ(listing.tracks.size(), 2u);
    EXPECT_EQ(listing.tracks[0].path, FromUtf8(audio));
    EXPECT_EQ(listing.tracks[0].fileName, FromUtf8("ソナタ上巻.wav"));
    EXPECT_EQ(listing.tracks[0].title, FromUtf8(title1));
    EXPECT_EQ(listing.tracks[1].title, FromUtf8(title2));
    EXPECT_EQ(listing.tracks[1].artist, FromUtf8(performer));
    EXPECT_EQ(RangesOf(listing), (Ranges{{0, 74}, {75, 299}}));
  }

  // Without a mark the same UTF-8 text is read as Shift_JIS: the commands
  // still parse, the Japanese text does not survive.
  Audio("plain.wav", 300);
  const Listing unmarked = List(sheet("plain.wav"), CueEncoding::kUtf8);
  ASSERT_EQ(unmarked.code, kMusicOk);
  ASSERT_EQ(unmarked.tracks.size(), 2u);
  EXPECT_NE(unmarked.tracks[0].title, FromUtf8(title1));
  EXPECT_NE(unmarked.tracks[1].artist, FromUtf8(performer));
  EXPECT_EQ(RangesOf(unmarked), (Ranges{{0, 74}, {75, 299}}));
}

TEST_F(MusicDataCueTest, AnMp3FileListsAsMp3Tracks) {
  const std::string wav = dir_.File("music.wav");
  const std::string mp3 = dir_.File("music.mp3");
  fixtures::WriteWav(wav, {1, 2, 44100, 16}, fixtures::TestMusic(44100, 2, 2 * 44100));
  ASSERT_EQ(fixtures::RunLame({"-b", "128", wav, mp3}), "");
  CMusicDataMP3 source;
  ASSERT_EQ(source.Open({.path = FromUtf8(mp3), .gapless = false, .threshold = -96.0}), kMusicOk);
  TrackInfo whole;
  ASSERT_EQ(source.GetTrackInfo(0, &whole), kMusicOk);

  const Listing listing = List(
      "FILE music.mp3 WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\n"
      "INDEX 01 00:01:00\n");
  ASSERT_EQ(listing.code, kMusicOk);
  EXPECT_EQ(RangesOf(listing), (Ranges{{0, 74}, {75, whole.length - 1}}));
  for (const auto& track : listing.tracks) {
    EXPECT_EQ(track.path, FromUtf8(mp3));
    EXPECT_EQ(track.fileName, L"music.mp3");
    EXPECT_EQ(track.type, kSourceTypeMp3);
    EXPECT_EQ(track.formatName, L"MP3");
    EXPECT_EQ(track.totalBytes, whole.totalBytes);
    EXPECT_EQ(track.format.nSamplesPerSec, 44100u);
    EXPECT_EQ(track.format.wBitsPerSample, 16u);
  }
}

TEST(CueSourceFactory, CueSheetsInAnyCaseGetTheCueSource) {
  for (const wchar_t* path : {L"/m/album.cue", L"/m/album.Cue", L"/m/a.wav.CUE"}) {
    EXPECT_NE(dynamic_cast<CMusicDataCue*>(CreateSourceForPath(path, nullptr).get()), nullptr)
        << path;
  }
  EXPECT_EQ(dynamic_cast<CMusicDataCue*>(CreateSourceForPath(L"/m/a.cue.wav", nullptr).get()),
            nullptr);
}

}  // namespace
