#include "core/PlaylistFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "core/PlaylistCtrl.h"
#include "tests/core/PlaylistTestSupport.h"

namespace {

using fixtures::ReadText;
using fixtures::WriteText;

using playlisttest::NewPlaylist;
using playlisttest::Wide;
using playlisttest::WriteTone;

std::vector<std::wstring> Titles(const std::vector<TrackInfo>& items) {
  std::vector<std::wstring> titles;
  for (const auto& item : items)
    titles.push_back(item.title);
  return titles;
}

TrackInfo Track(const std::string& path, const std::wstring& title, const std::wstring& artist) {
  TrackInfo item;
  item.path = Wide(path);
  item.fileName = Wide(path.substr(path.rfind('/') + 1));
  item.type = kSourceTypeWave;
  item.title = title;
  item.artist = artist;
  item.length = 75;
  item.start = 75;
  item.end = 149;
  return item;
}

class PlaylistFileTest : public ::testing::Test {
 protected:
  std::vector<TrackInfo> Read(const std::string& path, bool expectOk = true) {
    std::vector<TrackInfo> items;
    EXPECT_EQ(ReadPlaylistFile(Wide(path), &items, plugins_), expectOk);
    return items;
  }
  fixtures::TempDir dir_;
  std::string wave_ = dir_.File("tone.wav");
  std::string list_ = dir_.File("list.ppl");
  std::shared_ptr<CPluginCtrl> plugins_ = playlisttest::PlayerPlugins();
};

TEST_F(PlaylistFileTest, ASavedPlaylistLoadsExactly) {
  WriteTone(wave_, 3, "Tone", "Corvane");
  const std::string dsd = dir_.File("one.dsf");
  playlisttest::WriteDsd(dsd);
  const auto playlist = NewPlaylist(plugins_);
  playlist->AddFile(Wide(wave_), 0);
  playlist->AddFile(Wide(dsd), 1);
  // A cue track: the range of the audio file it plays from.
  playlist->Insert(Track(wave_, L"say \"hi\"", L""), 2);
  ASSERT_TRUE(playlist->IsModified());

  ASSERT_TRUE(WritePlaylistFile(*playlist, Wide(list_)));
  EXPECT_FALSE(playlist->IsModified());
  EXPECT_EQ(ReadText(list_), "\xEF\xBB\xBF\"" + wave_ +
                                 "\",2,\"Tone\",\"Corvane\",225,0,224\r\n\"" + dsd +
                                 "\",4,\"\",\"\",75,0,74\r\n\"" + wave_ +
                                 "\",2,\"say \"\"hi\"\"\",\"\",75,75,149\r\n");

  const auto saved = playlist->Items();
  const auto loaded = Read(list_);
  ASSERT_EQ(loaded.size(), saved.size());
  for (std::size_t i = 0; i < saved.size(); ++i) {
    EXPECT_EQ(loaded[i].path, saved[i].path);
    EXPECT_EQ(loaded[i].fileName, saved[i].fileName);
    EXPECT_EQ(loaded[i].type, saved[i].type);
    EXPECT_EQ(loaded[i].title, saved[i].title);
    EXPECT_EQ(loaded[i].artist, saved[i].artist);
    EXPECT_EQ(loaded[i].length, saved[i].length);
    EXPECT_EQ(loaded[i].start, saved[i].start);
    EXPECT_EQ(loaded[i].end, saved[i].end);
    EXPECT_EQ(loaded[i].formatName, i == 1 ? L"DSF" : L"WAVE");  // from the audio file
    EXPECT_EQ(loaded[i].format.nSamplesPerSec, i == 1 ? 88200u : 44100u);
  }
}

TEST_F(PlaylistFileTest, TextsWithQuotesCommasAndLineBreaksRoundTrip) {
  WriteTone(wave_, 1);
  const std::wstring titles[] = {L"say \"hi\"", L"\"",           L"\"\"",   L"\"Hi\"", L"a,b",
                                 L"",           L"\u65e5\u672c", L"a\"\"b", L",\",\""};
  const auto playlist = NewPlaylist();
  for (const auto& title : titles)
    playlist->Append(Track(wave_, title, title));
  playlist->Append(Track(wave_, L"two\r\nlines", L"x"));
  ASSERT_TRUE(WritePlaylistFile(*playlist, Wide(list_)));

  const auto loaded = Read(list_);
  ASSERT_EQ(loaded.size(), std::size(titles) + 1);
  for (std::size_t i = 0; i < std::size(titles); ++i) {
    EXPECT_EQ(loaded[i].title, titles[i]);
    EXPECT_EQ(loaded[i].artist, titles[i]);
  }
  // A line break would split the line and lose the item.
  EXPECT_EQ(loaded.back().title, L"two  lines");
}

TEST_F(PlaylistFileTest, LinesThatAreNotItemsAreSkipped) {
  WriteTone(wave_, 1);
  const std::string p = "\"" + wave_ + "\"";
  std::string text;
  const struct {
    std::string line;
    bool loads;
  } lines[] = {
      {p + ",2,\"good\",\"\",75,0,74", true},
      {p + ",2,\"six\",\"\",75,0", false},
      {p + ",2,\"eight\",\"\",75,0,74,1", false},
      {p + ",2,\"two commas\",,75,0,74", false},
      {p + ",2,\"unclosed,\"\",75,0,74", false},
      {p + ",2,\"text\"after,\"\",75,0,74", false},
      {p + ",2,un\"quoted,\"\",75,0,74", false},
      {p + ",2,\"last open\",\"\",75,0,\"74", false},
      {"\"" + dir_.File("deleted.wav") + "\",2,\"deleted\",\"\",75,0,74", false},
      {"", false},
      {",,,,,,", false},
      {p + ",7,\"type 7\",\"\",x,  -5,12abc", true},
      {p + ",2,\"trailing comma\",\"\",75,0,74,", true},
      {p + ",2,\"crlf\",\"\",75,0,74\r\r", true},
  };
  for (const auto& l : lines)
    text += l.line + "\n";  // no byte-order mark, bare line feeds
  WriteText(list_, text + p + ",2,\"no final newline\",\"\",1,2,3");

  const auto loaded = Read(list_);
  EXPECT_EQ(Titles(loaded), (std::vector<std::wstring>{L"good", L"type 7", L"trailing comma",
                                                       L"crlf", L"no final newline"}));
  ASSERT_EQ(loaded.size(), 5u);
  EXPECT_EQ(loaded[1].type, 7);  // kept as stored; playback finds no source for it
  EXPECT_EQ(loaded[1].length, 0u);
  EXPECT_EQ(loaded[1].start, static_cast<std::uint32_t>(-5));
  EXPECT_EQ(loaded[1].end, 12u);
  EXPECT_EQ(loaded[4].end, 3u);
}

TEST_F(PlaylistFileTest, LinesOfAnyLengthLoad) {
  // A path of over 600 characters and a title of 5000: both far beyond a
  // line buffer of 512 characters.
  std::string folder = dir_.path();
  for (int i = 0; i < 3; ++i) {
    folder += "/" + std::string(200, static_cast<char>('a' + i));
    std::filesystem::create_directory(folder);
  }
  const std::string deep = folder + "/tone.wav";
  WriteTone(deep, 1);
  const auto playlist = NewPlaylist();
  playlist->Append(Track(deep, std::wstring(5000, L't'), L"artist"));
  ASSERT_TRUE(WritePlaylistFile(*playlist, Wide(list_)));

  const auto loaded = Read(list_);
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].path, Wide(deep));
  EXPECT_EQ(loaded[0].title, std::wstring(5000, L't'));
  EXPECT_EQ(loaded[0].artist, L"artist");
}

TEST_F(PlaylistFileTest, FilesThatCannotBeReadGiveNothing) {
  WriteTone(wave_, 1);
  std::vector<TrackInfo> items(2);
  EXPECT_FALSE(ReadPlaylistFile(Wide(list_), nullptr, plugins_));
  EXPECT_FALSE(ReadPlaylistFile(Wide(dir_.File("missing.ppl")), &items, plugins_));
  EXPECT_TRUE(items.empty());
  EXPECT_TRUE(Read(dir_.path(), false).empty());

  // Bytes that are not UTF-8: a Latin-1 title still loads, a binary file
  // loads nothing.
  WriteText(list_, "\"" + wave_ + "\",2,\"caf\xE9\",\"\",75,0,74\r\n");
  const auto latin = Read(list_);
  ASSERT_EQ(latin.size(), 1u);
  EXPECT_EQ(latin[0].title, L"caf\uFFFD");
  fixtures::WriteFile(list_, fixtures::AudioPattern(100000));
  EXPECT_TRUE(Read(list_).empty());
}

// A huge file, or a device that never ends, is refused after a bounded
// read; an over-long line is skipped and the items after it still load.
TEST_F(PlaylistFileTest, ReadingIsBoundedInSizeAndLineLength) {
  WriteTone(wave_, 1);
  const std::string item = "\"" + wave_ + "\",2,\"t\",\"a\",75,0,74\r\n";
  WriteText(list_, "\"" + std::string(70000, 'x') + "\",2,\"\",\"\",1,0,0\r\n" + item);
  EXPECT_EQ(Read(list_).size(), 1u);

  const std::string huge = dir_.File("huge.ppl");
  WriteText(huge, item);
  ASSERT_EQ(truncate(huge.c_str(), std::int64_t{17} << 20), 0);
  std::vector<TrackInfo> items;
  EXPECT_FALSE(ReadPlaylistFile(Wide(huge), &items, plugins_));
  EXPECT_FALSE(ReadPlaylistFile(L"/dev/zero", &items, plugins_));
  EXPECT_TRUE(items.empty());
}

TEST_F(PlaylistFileTest, AFailedWriteKeepsTheOldFileAndTheModifiedMark) {
  WriteTone(wave_, 1);
  const auto playlist = NewPlaylist();
  playlist->Append(Track(wave_, L"only", L""));
  ASSERT_TRUE(WritePlaylistFile(*playlist, Wide(list_)));
  const std::string old = ReadText(list_);

  for (int i = 0; i < 2000; ++i)
    playlist->Append(Track(wave_, L"another", L""));
  EXPECT_FALSE(WritePlaylistFile(*playlist, Wide(dir_.File("missing/list.ppl"))));
  EXPECT_FALSE(WritePlaylistFile(*playlist, Wide(dir_.path())));
  {
    // The disk fills up in the middle of the file.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{}, saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = saved;
    limit.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(WritePlaylistFile(*playlist, Wide(list_)));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
  }
  EXPECT_TRUE(playlist->IsModified());
  EXPECT_EQ(ReadText(list_), old);
  EXPECT_EQ(Read(list_).size(), 1u);
}

}  // namespace
