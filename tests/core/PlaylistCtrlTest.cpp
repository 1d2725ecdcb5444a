#include "core/PlaylistCtrl.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/PlaylistFile.h"
#include "tests/core/PlaylistTestSupport.h"
#include "tests/fixtures/CueWriter.h"

namespace {

using playlisttest::NewPlaylist;
using playlisttest::Wide;
using playlisttest::WriteTone;

std::vector<std::wstring> FileNames(const CPlaylistCtrl& playlist) {
  std::vector<std::wstring> names;
  for (const auto& item : playlist.Items())
    names.push_back(item.fileName);
  return names;
}

// Records the rows the list view is asked for and the errors shown.
struct Hooks {
  std::vector<std::pair<std::wstring, std::int32_t>> rows;
  std::vector<std::wstring> errors;

  void Attach(CPlaylistCtrl& playlist) {
    playlist.SetRowInserter([this, &playlist](const TrackInfo& item, std::int32_t row) {
      // The row comes first: the item is not in the playlist yet.
      EXPECT_EQ(playlist.Count(), static_cast<std::int32_t>(rows.size()) + countBefore);
      rows.emplace_back(item.fileName, row);
    });
    playlist.SetErrorReporter([this](const std::wstring& text) { errors.push_back(text); });
    countBefore = playlist.Count();
  }
  std::int32_t countBefore = 0;
};

// A source with several tracks, standing for a cue sheet: each track names
// the audio file it plays from, except where `paths` holds an empty text.
class MultiTrackSource : public CMusicData {
 public:
  MultiTrackSource(std::int32_t openResult, std::vector<std::wstring> paths)
      : openResult_(openResult), paths_(std::move(paths)) {}
  std::int32_t Open(const MusicOpenParams&) override { return openResult_; }
  std::int32_t GetTrackCount(std::int32_t* count) override {
    *count = static_cast<std::int32_t>(paths_.size());
    return kMusicOk;
  }
  std::int32_t GetTrackInfo(std::int32_t index, TrackInfo* info) override {
    const auto t = static_cast<std::uint32_t>(index);
    info->path = paths_[t];
    info->fileName = paths_[t].empty() ? L"" : L"album.wav";
    info->type = kSourceTypeWave;
    info->formatName = L"WAVE";
    info->title = L"Track " + std::to_wstring(t + 1);
    info->start = 750 * t;
    info->end = 750 * t + 749;
    info->length = 750;
    return kMusicOk;
  }

 private:
  std::int32_t openResult_;
  std::vector<std::wstring> paths_;
};

class PlaylistCtrlTest : public ::testing::Test {
 protected:
  std::string Tone(const std::string& name, std::uint32_t seconds = 1) {
    const std::string path = dir_.File(name);
    WriteTone(path, seconds, name + " title", "Artist");
    return path;
  }
  fixtures::TempDir dir_;
};

TEST_F(PlaylistCtrlTest, AddFileListsWaveAndPluginFilesAtTheRowAsked) {
  const auto playlist = NewPlaylist(playlisttest::PlayerPlugins());
  Hooks hooks;
  hooks.Attach(*playlist);
  const std::string wave = Tone("tone.wav", 2);
  const std::string dsd = dir_.File("one.dsf");
  playlisttest::WriteDsd(dsd);

  EXPECT_EQ(playlist->AddFile(Wide(wave), 0), 1);
  EXPECT_EQ(playlist->AddFile(Wide(dsd), 0), 1);
  EXPECT_TRUE(playlist->IsModified());
  EXPECT_TRUE(hooks.errors.empty());
  EXPECT_EQ(hooks.rows, (decltype(hooks.rows){{L"tone.wav", 0}, {L"one.dsf", 0}}));

  const auto items = playlist->Items();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].path, Wide(dsd));
  EXPECT_EQ(items[0].type, kSourceTypePlugin);
  EXPECT_EQ(items[0].formatName, L"DSF");
  EXPECT_EQ(items[0].format.nSamplesPerSec, 88200u);  // DSD64 as 32-bit words
  EXPECT_EQ(items[0].length, 75u);
  EXPECT_EQ(items[1].path, Wide(wave));
  EXPECT_EQ(items[1].fileName, L"tone.wav");
  EXPECT_EQ(items[1].type, kSourceTypeWave);
  EXPECT_EQ(items[1].formatName, L"WAVE");
  EXPECT_EQ(items[1].title, L"tone.wav title");
  EXPECT_EQ(items[1].artist, L"Artist");
  EXPECT_EQ(items[1].format.nChannels, 2u);
  EXPECT_EQ(items[1].totalBytes, 352800u);
  EXPECT_EQ(items[1].length, 150u);
  EXPECT_EQ(items[1].end, 149u);
}

TEST_F(PlaylistCtrlTest, FilesThatDoNotOpenAddNothingAndOnlyRealErrorsAreShown) {
  const auto playlist = NewPlaylist();
  Hooks hooks;
  hooks.Attach(*playlist);
  const std::wstring missing = Wide(dir_.File("missing.wav"));
  EXPECT_EQ(playlist->AddFile(missing, 0), 0);
  // A sheet whose audio file is gone lists nothing either.
  const std::wstring sheet = Wide(dir_.File("sheet.cue"));
  fixtures::WriteCue(dir_.File("sheet.cue"), "FILE gone.wav WAVE\nTRACK 01 AUDIO\n");
  EXPECT_EQ(playlist->AddFile(sheet, 0), 0);
  // Paths come from other programs too: one far longer than any buffer.
  const std::wstring longPath = L"/" + std::wstring(5000, L'x') + L".wav";
  EXPECT_EQ(playlist->AddPathList({longPath}, -1), 0);

  for (const std::int32_t declined : {kMusicErrParam, kMusicErrSequence}) {
    playlist->SetSourceCreator([declined](const std::wstring&) {
      return std::make_unique<MultiTrackSource>(declined, std::vector<std::wstring>{L"a"});
    });
    EXPECT_EQ(playlist->AddFile(L"declined", 0), 0);
  }
  EXPECT_EQ(hooks.errors,
            (std::vector<std::wstring>{L"Can't open file (\"" + missing + L"\")", L"Decode Failed.",
                                       L"Can't open file (\"" + longPath + L"\")"}));
  EXPECT_EQ(playlist->Count(), 0);
  EXPECT_TRUE(hooks.rows.empty());
  EXPECT_FALSE(playlist->IsModified());
}

TEST_F(PlaylistCtrlTest, EveryTrackOfAMultiTrackFileBecomesAnItem) {
  const auto playlist = NewPlaylist();
  const std::string first = Tone("first.wav"), last = Tone("last.wav");
  playlist->AddFile(Wide(first), -1);
  playlist->AddFile(Wide(last), 1);
  Hooks hooks;
  hooks.Attach(*playlist);
  playlist->SetSourceCreator([](const std::wstring&) {
    return std::make_unique<MultiTrackSource>(
        kMusicOk, std::vector<std::wstring>{L"/music/album.wav", L"", L"/music/album.wav"});
  });

  EXPECT_EQ(playlist->AddFile(L"/music/album.cue", 1), 3);
  EXPECT_EQ(hooks.rows,
            (decltype(hooks.rows){{L"album.wav", 1}, {L"album.wav", 2}, {L"album.wav", 3}}));
  const auto items = playlist->Items();
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0].fileName, L"first.wav");
  EXPECT_EQ(items[4].fileName, L"last.wav");
  for (std::uint32_t t = 0; t < 3; ++t) {
    const TrackInfo& item = items[1 + t];
    EXPECT_EQ(item.path, L"/music/album.wav");  // the second track keeps the first's
    EXPECT_EQ(item.type, kSourceTypeWave);
    EXPECT_EQ(item.title, L"Track " + std::to_wstring(t + 1));
    EXPECT_EQ(item.start, 750 * t);
    EXPECT_EQ(item.end, 750 * t + 749);
  }
}

TEST_F(PlaylistCtrlTest, ACueSheetAddsTheTracksOfItsAudioFile) {
  const auto playlist = NewPlaylist();
  const std::string audio = Tone("album.wav", 3);
  playlist->AddFile(Wide(Tone("before.wav")), 0);
  Hooks hooks;
  hooks.Attach(*playlist);
  const std::string sheet = dir_.File("Album.CUE");
  fixtures::WriteCue(sheet,
                     "PERFORMER \"Band\"\nFILE album.wav WAVE\n"
                     "TRACK 01 AUDIO\nTITLE One\nINDEX 01 00:00:00\n"
                     "TRACK 02 AUDIO\nINDEX 01 00:01:00\n"
                     "TRACK 03 AUDIO\nINDEX 00 00:01:70\nINDEX 01 00:02:00\n",
                     fixtures::CueEncoding::kUtf8WithBom);

  EXPECT_EQ(playlist->AddFile(Wide(sheet), 0), 3);
  EXPECT_TRUE(hooks.errors.empty());
  EXPECT_EQ(hooks.rows,
            (decltype(hooks.rows){{L"album.wav", 0}, {L"album.wav", 1}, {L"album.wav", 2}}));
  const auto items = playlist->Items();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[3].fileName, L"before.wav");
  const struct {
    const wchar_t* title;
    std::uint32_t start, end;
  } expected[] = {{L"One", 0, 74}, {L"Track 02", 75, 144}, {L"Track 03", 150, 224}};
  for (std::size_t t = 0; t < 3; ++t) {
    const TrackInfo& item = items[t];
    EXPECT_EQ(item.path, Wide(audio));
    EXPECT_EQ(item.type, kSourceTypeWave);
    EXPECT_EQ(item.formatName, L"WAVE");
    EXPECT_EQ(item.totalBytes, 529200u);
    EXPECT_EQ(item.format.nSamplesPerSec, 44100u);
    EXPECT_EQ(item.title, expected[t].title);
    EXPECT_EQ(item.artist, L"Band");
    EXPECT_EQ(item.start, expected[t].start);
    EXPECT_EQ(item.end, expected[t].end);
    EXPECT_EQ(item.length, expected[t].end - expected[t].start + 1);
  }
}

TEST_F(PlaylistCtrlTest, PathListsAreSortedNaturallyAndPlaylistFilesExpanded) {
  // A playlist file of two items, its extension in capitals.
  const auto saved = NewPlaylist();
  saved->AddFile(Wide(Tone("a.wav")), -1);
  saved->AddFile(Wide(Tone("b.wav")), 1);
  const std::string list = dir_.File("list.PPL");
  ASSERT_TRUE(WritePlaylistFile(*saved, Wide(list)));

  const auto playlist = NewPlaylist();
  playlist->AddFile(Wide(Tone("x.wav")), 0);
  playlist->AddFile(Wide(Tone("y.wav")), 1);
  playlist->SetModified(false);
  Hooks hooks;
  hooks.Attach(*playlist);
  const std::vector<std::wstring> dropped = {Wide(Tone("track10.wav")), Wide(list),
                                             Wide(Tone("Track2.wav")), Wide(Tone("track1.wav"))};
  EXPECT_EQ(playlist->AddPathList(dropped, 1), 5);
  EXPECT_EQ(FileNames(*playlist),
            (std::vector<std::wstring>{L"x.wav", L"a.wav", L"b.wav", L"track1.wav", L"Track2.wav",
                                       L"track10.wav", L"y.wav"}));
  EXPECT_EQ(hooks.rows, (decltype(hooks.rows){{L"a.wav", 1},
                                              {L"b.wav", 2},
                                              {L"track1.wav", 3},
                                              {L"Track2.wav", 4},
                                              {L"track10.wav", 5}}));
  EXPECT_TRUE(playlist->IsModified());

  // A negative index (or one past the end) appends.
  EXPECT_EQ(playlist->AddPathList({Wide(Tone("z.wav"))}, -1), 1);
  EXPECT_EQ(playlist->AddPathList({Wide(dir_.File("z.wav"))}, 99), 1);
  EXPECT_EQ(FileNames(*playlist).back(), L"z.wav");
  EXPECT_EQ(playlist->Count(), 9);
}

}  // namespace
