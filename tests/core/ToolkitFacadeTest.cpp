// The toolkit facade with its real plug-in host, playlist and playback
// thread; the list is the in-memory row table, the dialogs are scripted and
// the device is the virtual DAC.
#include "core/ToolkitFacade.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>

#include "core/PlaylistCtrl.h"
#include "core/TkRowTable.h"
#include "core/TkScriptedDialogs.h"
#include "output/AsioDriverList.h"
#include "platform/ErrorReport.h"
#include "platform/TextConv.h"
#include "tests/core/PlayerTestSupport.h"
#include "tests/core/ScriptedSource.h"
#include "tests/fixtures/CdImageWriter.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/WavWriter.h"
#include "tests/output/AsioTestSupport.h"

namespace {

using fixtures::Bytes;
using platform::FromUtf8;
using namespace std::chrono_literals;

// Settings kept in memory, counting the saves.
class MemorySettings : public ITkSettings {
 public:
  TkOutputConfig OutputConfig() const override { return output; }
  std::wstring PlaylistFile() const override { return file; }
  void SetPlaylistFile(const std::wstring& path) override { file = path; }
  void Save() override { ++saves; }

  TkOutputConfig output{.device = L"Virtual DAC"};
  std::wstring file;
  int saves = 0;
};

// The user interface's callbacks, recorded in order from any thread.
class RecordingCallback : public ITkCallback {
 public:
  void OnPlayRequest() override { Add("request"); }
  void OnStateChanged(std::int32_t code, std::intptr_t value,
                      std::unique_ptr<PlayingRecord> playing) override {
    if (code == 1) {
      Add("playing " + std::to_string(playing ? playing->item : -1));
    } else {
      Add("state " + std::to_string(code) + " " + std::to_string(value));
    }
  }
  void OnTimeChanged(std::uint32_t, std::uint32_t) override {}
  void OnPlaylistChanged(std::int32_t kind) override { Add("list " + std::to_string(kind)); }
  void OnTrackSkipped(std::unique_ptr<std::wstring>, bool) override { Add("skipped"); }
  void OnWorkProgress(std::size_t done, std::size_t total) override {
    Add("progress " + std::to_string(done) + "/" + std::to_string(total) +
        (duringWork ? " " + duringWork() : ""));
  }
  // What a progress report also records: what the window would see then.
  std::function<std::string()> duringWork;

  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }
  bool WaitFor(const std::string& event) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] {
      return std::find(events_.begin(), events_.end(), event) != events_.end();
    });
  }

 private:
  void Add(std::string event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
};

class ToolkitFacadeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterVirtualDac(std::filesystem::path(asiotest::kVirtualDac).parent_path().string());
    platform::SetAppErrorManager(errors_);
  }
  void TearDown() override {
    facade_.reset();
    platform::SetAppErrorManager(nullptr);
  }

  void Init(CToolkitFacade::Options options = {}) {
    options.thread.commandPause = 20ms;
    options.thread.leadInSeconds = [] { return 0.1; };
    facade_ = std::make_unique<CToolkitFacade>(settings_, std::move(options));
    const TkInitParams params{callback_, &rows_, &rows_, &dialogs_};
    ASSERT_EQ(facade_->Init(&params), kTkOk);
    facade_->ApplyConfig(settings_->output, true);
  }

  std::wstring Wav(const std::string& name, std::uint32_t frames = 4410,
                   std::uint32_t rate = 44100) {
    const std::string path = dir_.File(name);
    fixtures::WriteWav(path, {1, 2, rate, 16}, fixtures::AudioPattern(std::size_t{frames} * 4));
    return FromUtf8(path);
  }
  // Adds WAV files named "<i>.wav" through the path-list rule.
  void AddWavs(int count, std::uint32_t frames = 4410) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < count; ++i)
      paths.push_back(Wav(std::to_string(i) + ".wav", frames));
    facade_->AddFileList(paths);
  }

  // Row i shows item i: same path in column 4.
  void ExpectRowsMatchPlaylist() {
    const auto items = facade_->GetPlaylist()->Items();
    ASSERT_EQ(rows_.RowCount(), static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
      EXPECT_EQ(rows_.RowText(static_cast<int>(i), 4), items[i].path) << "row " << i;
  }
  // The playback thread's reports (a stop after a playlist change) may come
  // in between: what counts is that the report was made.
  bool Recorded(const std::string& event) {
    const auto events = callback_->Events();
    return std::find(events.begin(), events.end(), event) != events.end();
  }
  std::vector<std::wstring> FileNames() {
    std::vector<std::wstring> names;
    for (const auto& item : facade_->GetPlaylist()->Items())
      names.push_back(item.fileName);
    return names;
  }

  fixtures::TempDir dir_;
  asiotest::DriverRegistry registry_;  // no driver but the built-in one
  std::shared_ptr<playertest::RecordingErrors> errors_ =
      std::make_shared<playertest::RecordingErrors>();
  std::shared_ptr<MemorySettings> settings_ = std::make_shared<MemorySettings>();
  std::shared_ptr<RecordingCallback> callback_ = std::make_shared<RecordingCallback>();
  CTkRowTable rows_;
  CTkScriptedDialogs dialogs_;
  std::unique_ptr<CToolkitFacade> facade_;
};

TEST_F(ToolkitFacadeTest, ResultCodesFollowTheState) {
  facade_ = std::make_unique<CToolkitFacade>(settings_);
  std::uint32_t seconds = 0;
  EXPECT_EQ(facade_->Play(), kTkNotInitialised);
  EXPECT_EQ(facade_->Pause(), kTkNotInitialised);
  EXPECT_EQ(facade_->GetTotalDuration(&seconds), kTkNotInitialised);
  EXPECT_FALSE(facade_->IsSupportedFile(L"a.wav"));
  EXPECT_EQ(facade_->Init(nullptr), kTkBadArgument);
  TkInitParams missing{callback_, &rows_, nullptr, &dialogs_};
  EXPECT_EQ(facade_->Init(&missing), kTkBadArgument);
  EXPECT_FALSE(facade_->IsInitialised());

  Init();
  const TkInitParams again{callback_, &rows_, &rows_, &dialogs_};
  EXPECT_EQ(facade_->Init(&again), kTkAlreadyInitialised);
  EXPECT_EQ(facade_->Pause(), kTkNotPossible);
  EXPECT_EQ(facade_->SetRepeat(3), kTkBadArgument);
  EXPECT_EQ(facade_->RepeatMode(), 0);
  EXPECT_EQ(facade_->SetRepeat(2), kTkOk);
  EXPECT_EQ(facade_->RepeatMode(), 2);
  EXPECT_EQ(facade_->Play(), kTkNotPossible);  // empty playlist
  EXPECT_EQ(facade_->GetTotalDuration(nullptr), kTkBadArgument);
  EXPECT_EQ(facade_->GetItemInfo(false, nullptr), kTkBadArgument);

  AddWavs(3);
  TkItemInfo info;
  EXPECT_EQ(facade_->PlaySelected(), kTkOk);  // no row selected: nothing posted
  rows_.SelectOnly({0, 2});
  EXPECT_EQ(facade_->GetItemInfo(true, &info), kTkNotPossible);
  rows_.SelectOnly({2});
  ASSERT_EQ(facade_->GetItemInfo(true, &info), kTkOk);
  EXPECT_EQ(info.fileName, L"2.wav");
  EXPECT_EQ(info.sampleRate, 44100u);
  EXPECT_EQ(info.bitsPerSample, 16u);
  settings_->output.device.clear();
  EXPECT_EQ(facade_->Play(), kTkNotPossible);  // no device chosen

  ASSERT_TRUE(facade_->WaitUntilIdle(5s));
  const auto events = callback_->Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "request"), 0);
}

TEST_F(ToolkitFacadeTest, SupportedFilesAndTheMusicFilterIncludeThePlugins) {
  Init();
  struct Case {
    const wchar_t* path;
    bool supported;
  } cases[] = {{L"/music/a.WAV", true}, {L"b.Mp3", true},  {L"c.cue", true},
               {L"d.dsf", true},        {L"g.Dff", true},  {L"h.FLAC", true},
               {L"e.ppl", false},       {L"noext", false}, {L"f.wav.txt", false}};
  for (const auto& c : cases)
    EXPECT_EQ(facade_->IsSupportedFile(c.path), c.supported) << platform::ToUtf8(c.path);

  const std::wstring filter = facade_->MusicFilter();
  EXPECT_EQ(
      filter,
      L"All Music File|*.wav;*.mp3;*.cue;*.DFF;*.DSF;*.FLAC;|WAVE File|*.wav;|MP3 File|*.mp3;|"
      L"Cue Sheet|*.cue;|DFF|*.DFF;|DSF|*.DSF;|FLAC|*.FLAC;||");
  dialogs_.Cancel();
  EXPECT_EQ(facade_->Open(), kTkOk);
  ASSERT_EQ(dialogs_.Requests().size(), 1u);
  EXPECT_EQ(dialogs_.Requests()[0].title, L"Open");
  EXPECT_EQ(dialogs_.Requests()[0].filter, filter);

  TkPluginList plugins;
  ASSERT_EQ(facade_->GetPluginList(&plugins), kTkOk);
  ASSERT_EQ(plugins.size(), 3u);
  EXPECT_EQ(plugins[0].name, L"DFF Plugin");
  EXPECT_EQ(plugins[1].name, L"DSF Plugin");
  EXPECT_EQ(plugins[1].extensions, L"DSF");
  EXPECT_EQ(plugins[1].version, L"1.0.2");
  EXPECT_EQ(plugins[2].name, L"FLAC Plugin");
  EXPECT_EQ(plugins[2].extensions, L"FLAC");
}

TEST_F(ToolkitFacadeTest, SetupListLaysOutTheFiveColumns) {
  Init();
  AddWavs(2);
  facade_->SetupList({0, 10, 20, 600, 300, {30, 120, 200, 60, 180}});
  EXPECT_EQ(rows_.RowCount(), 0);
  EXPECT_EQ(facade_->GetPlaylist()->Count(), 0);
  const auto columns = rows_.Columns();
  ASSERT_EQ(columns.size(), 5u);
  EXPECT_EQ(columns[0].header, L"No.");
  EXPECT_EQ(columns[4].header, L"Path");
  EXPECT_EQ(columns[2].width, 200);
  EXPECT_EQ(rows_.MinColumnWidth(), 50);
  EXPECT_TRUE(rows_.DragEnabled());
  EXPECT_TRUE(rows_.DropEnabled());
  EXPECT_EQ(rows_.ToScreen({1, 2}).x, 11);
}

TEST_F(ToolkitFacadeTest, DropsInsertAtTheRowUnderThePoint) {
  Init();
  AddWavs(6);
  const int h = CTkRowTable::kRowHeight;
  struct Case {
    ViewPoint point;
    int firstRow;
  } cases[] = {
      {{5, 3 * h + h / 2}, 4},      // lower half of row 3: after it
      {{5, 3 * h + h / 2 - 1}, 3},  // upper half: before it
      {{5, 40 * h}, -1},            // below the last row: appended
  };
  int n = 0;
  for (const auto& c : cases) {
    const int before = rows_.RowCount();
    rows_.SetDropPoint(c.point);
    const std::wstring dropped = Wav("drop" + std::to_string(n++) + ".wav");
    facade_->DropFiles({dropped});
    ASSERT_EQ(rows_.RowCount(), before + 1);
    const int expected = c.firstRow < 0 ? before : c.firstRow;
    EXPECT_EQ(rows_.RowText(expected, 4), dropped);
    ExpectRowsMatchPlaylist();
  }
  // Dropped paths go in natural order, and playlist files are expanded.
  rows_.SetDropPoint({5, 0});
  facade_->DropFiles({Wav("z10.wav"), Wav("z9.wav")});
  EXPECT_EQ(rows_.RowText(0, 4), Wav("z9.wav"));
  EXPECT_EQ(rows_.RowText(1, 4), Wav("z10.wav"));
}

TEST_F(ToolkitFacadeTest, MovingRowsKeepsListAndPlaylistInStep) {
  Init();
  AddWavs(5);
  rows_.SelectOnly({2});
  facade_->MoveSelected(2);  // onto itself: nothing changes
  EXPECT_EQ(FileNames(),
            (std::vector<std::wstring>{L"0.wav", L"1.wav", L"2.wav", L"3.wav", L"4.wav"}));
  ExpectRowsMatchPlaylist();

  rows_.SelectOnly({0, 1});
  facade_->MoveSelected(4);  // before the item that was at row 4
  EXPECT_EQ(FileNames(),
            (std::vector<std::wstring>{L"2.wav", L"3.wav", L"0.wav", L"1.wav", L"4.wav"}));
  ExpectRowsMatchPlaylist();
  EXPECT_TRUE(rows_.IsRowSelected(2));
  EXPECT_TRUE(rows_.IsRowSelected(3));
  EXPECT_EQ(rows_.SelectionMark(), 2);

  rows_.SelectOnly({4});
  facade_->MoveSelected(0);
  EXPECT_EQ(FileNames().front(), L"4.wav");
  ExpectRowsMatchPlaylist();
}

TEST_F(ToolkitFacadeTest, TransportReportsMoveTheRowImages) {
  Init();
  AddWavs(3, 44100 * 4);
  facade_->PlayRow(1);
  EXPECT_EQ(facade_->HighlightedRow(), 1);
  ASSERT_TRUE(callback_->WaitFor("playing 1"));
  // A pause while the item is still loading is dropped: wait for the output.
  ASSERT_TRUE(facade_->WaitUntilIdle(5s));
  EXPECT_EQ(facade_->TransportState(), core::Transport::kPlaying);
  EXPECT_EQ(facade_->HighlightedRow(), 1);
  EXPECT_EQ(facade_->CurrentTrackSeconds(), 4u);

  ASSERT_EQ(facade_->Pause(), kTkOk);
  ASSERT_TRUE(callback_->WaitFor("state 2 0"));
  EXPECT_EQ(facade_->TransportState(), core::Transport::kPaused);
  EXPECT_EQ(rows_.RowImage(1), 2);
  ASSERT_EQ(facade_->Pause(), kTkOk);
  ASSERT_TRUE(callback_->WaitFor("state 2 1"));
  EXPECT_EQ(rows_.RowImage(1), 1);

  std::uint32_t position = 0;
  ASSERT_EQ(facade_->GetPosition(99, &position), kTkOk);
  EXPECT_EQ(position, 4u + 4u);  // item 0, then the current one capped at its length

  facade_->Stop();
  ASSERT_TRUE(callback_->WaitFor("state 0 0"));
  EXPECT_EQ(facade_->TransportState(), core::Transport::kStopped);
  EXPECT_EQ(facade_->CurrentTrackSeconds(), 0u);
  for (int row = 0; row < 3; ++row)
    EXPECT_EQ(rows_.RowImage(row), 0);
}

TEST_F(ToolkitFacadeTest, RemovingThePlayingItemStopsPlayback) {
  Init();
  AddWavs(4, 44100 * 10);
  facade_->PlayRow(2);
  ASSERT_TRUE(callback_->WaitFor("playing 2"));
  callback_->Clear();
  rows_.SelectOnly({0, 2});
  facade_->RemoveSelected();
  EXPECT_EQ(facade_->TransportState(), core::Transport::kStopped);
  EXPECT_EQ(FileNames(), (std::vector<std::wstring>{L"1.wav", L"3.wav"}));
  ExpectRowsMatchPlaylist();
  ASSERT_TRUE(callback_->WaitFor("state 0 0"));

  // Removing rows while something else plays leaves it playing.
  facade_->PlayRow(1);
  ASSERT_TRUE(callback_->WaitFor("playing 1"));
  callback_->Clear();
  rows_.SelectOnly({0});
  facade_->DeleteSelected();
  ASSERT_TRUE(facade_->WaitUntilIdle(5s));
  EXPECT_EQ(facade_->TransportState(), core::Transport::kPlaying);
  EXPECT_EQ(facade_->HighlightedRow(), 0);
  EXPECT_EQ(FileNames(), (std::vector<std::wstring>{L"3.wav"}));
  for (const auto& event : callback_->Events())
    EXPECT_NE(event, "state 0 0");
}

TEST_F(ToolkitFacadeTest, AnAudioCdReplacesThePlaylistAndRoundTripsThroughAPlaylistFile) {
  Init();
  AddWavs(2);
  const auto image = fixtures::WriteCdImage(dir_.path(), "disc", fixtures::AudioTracks({300, 450}));
  callback_->Clear();
  facade_->OpenCD(FromUtf8(image.cuePath));
  EXPECT_TRUE(facade_->IsAudioCd());
  EXPECT_FALSE(rows_.DragEnabled());
  EXPECT_FALSE(rows_.DropEnabled());
  ASSERT_EQ(rows_.RowCount(), 2);
  ExpectRowsMatchPlaylist();
  EXPECT_TRUE(Recorded("list 1"));
  EXPECT_EQ(facade_->GetPlaylist()->Items()[1].length, 450u);

  dialogs_.Choose({FromUtf8(dir_.File("never.ppl"))});
  EXPECT_EQ(facade_->SavePlaylist(), kTkNotPossible);  // no dialog in CD mode
  EXPECT_TRUE(dialogs_.Requests().empty());
  const std::wstring saved = FromUtf8(dir_.File("disc.ppl"));
  facade_->SavePlaylistFile(saved);

  // The saved items come back as CD tracks, not as a cue sheet's.
  facade_->NewPlaylist();
  EXPECT_FALSE(facade_->IsAudioCd());
  facade_->LoadPlaylistFile(saved);
  const auto items = facade_->GetPlaylist()->Items();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].type, kSourceTypeCdda);
  EXPECT_EQ(items[1].length, 450u);
  EXPECT_EQ(items[1].format.nSamplesPerSec, 44100u);
  EXPECT_FALSE(facade_->GetPlaylist()->IsModified());

  // Removing the last row of a CD playlist leaves CD mode and takes drops
  // again (dragging comes back with the stop that follows).
  facade_->OpenCD(FromUtf8(image.cuePath));
  rows_.SelectOnly({0, 1});
  facade_->RemoveSelected();
  EXPECT_FALSE(facade_->IsAudioCd());
  EXPECT_TRUE(rows_.DropEnabled());

  // A drive without a disc leaves an empty playlist of files.
  callback_->Clear();
  facade_->OpenCD(FromUtf8(dir_.File("missing.cue")));
  EXPECT_FALSE(facade_->IsAudioCd());
  EXPECT_EQ(rows_.RowCount(), 0);
  EXPECT_TRUE(rows_.DropEnabled());
  EXPECT_TRUE(Recorded("list 2"));
  EXPECT_FALSE(Recorded("list 1"));
}

// Long work reports every step to the window, the list and the playlist in
// step each time, ending with the whole.
TEST_F(ToolkitFacadeTest, LongWorkReportsEveryStepWithListAndPlaylistInStep) {
  Init();
  callback_->duringWork = [this] {
    return std::to_string(rows_.RowCount()) + "=" + std::to_string(facade_->GetPlaylist()->Count());
  };
  auto progress = [this] {
    std::vector<std::string> reports;
    for (const std::string& event : callback_->Events())
      if (event.starts_with("progress ")) reports.push_back(event);
    callback_->Clear();
    return reports;
  };
  callback_->Clear();
  facade_->AddFileList({Wav("b.wav"), Wav("a.wav"), Wav("c.wav")});
  EXPECT_EQ(progress(),
            (std::vector<std::string>{"progress 1/3 1=1", "progress 2/3 2=2", "progress 3/3 3=3"}));
  dialogs_.Choose({Wav("d.wav"), Wav("e.wav")});
  facade_->AddFiles();
  EXPECT_EQ(progress(), (std::vector<std::string>{"progress 1/2 4=4", "progress 2/2 5=5"}));

  // A playlist file reports the characters read after every line.
  const std::wstring saved = FromUtf8(dir_.File("five.ppl"));
  ASSERT_EQ(facade_->SavePlaylistFile(saved), kTkOk);
  facade_->NewPlaylist();
  callback_->Clear();
  facade_->LoadPlaylistFile(saved);
  const std::vector<std::string> reports = progress();
  ASSERT_EQ(reports.size(), 5u);
  std::size_t before = 0;
  std::size_t total = 0;
  for (const std::string& report : reports) {
    SCOPED_TRACE(report);
    std::size_t done = 0;
    ASSERT_EQ(std::sscanf(report.c_str(), "progress %zu/%zu", &done, &total), 2);
    EXPECT_GT(done, before);
    before = done;
  }
  EXPECT_EQ(before, total);
  EXPECT_EQ(rows_.RowCount(), 5);
}

TEST_F(ToolkitFacadeTest, PlaylistDialogsStoreTheFileOnlyWhenItWasWritten) {
  Init();
  AddWavs(2);
  // A folder that does not exist: nothing is written, nothing is stored.
  dialogs_.Choose({FromUtf8(dir_.File("no/such/folder/list.ppl"))});
  EXPECT_EQ(facade_->SavePlaylist(), kTkNotPossible);
  EXPECT_EQ(settings_->file, L"");
  EXPECT_EQ(settings_->saves, 0);
  EXPECT_TRUE(facade_->GetPlaylist()->IsModified());

  dialogs_.Cancel();
  EXPECT_EQ(facade_->SavePlaylist(), kTkNotPossible);

  const std::wstring path = FromUtf8(dir_.File("list.ppl"));
  dialogs_.Choose({path});
  EXPECT_EQ(facade_->SavePlaylist(), kTkOk);
  EXPECT_EQ(settings_->file, path);
  EXPECT_EQ(settings_->saves, 1);
  EXPECT_FALSE(facade_->GetPlaylist()->IsModified());
  EXPECT_EQ(dialogs_.Requests().back().initialPath, L"");
  EXPECT_EQ(dialogs_.Requests().back().defaultExtension, L"ppl");

  facade_->NewPlaylist();
  EXPECT_EQ(settings_->file, L"");
  EXPECT_EQ(rows_.RowCount(), 0);
  dialogs_.Choose({path});
  facade_->LoadPlaylist();
  EXPECT_EQ(settings_->file, path);
  EXPECT_EQ(FileNames(), (std::vector<std::wstring>{L"0.wav", L"1.wav"}));
  ExpectRowsMatchPlaylist();

  // Add appends what the dialog chose; Open replaces the list with it.
  dialogs_.Choose({Wav("extra.wav")});
  facade_->AddFiles();
  EXPECT_EQ(FileNames().back(), L"extra.wav");
  dialogs_.Choose({Wav("only.wav")});
  facade_->Open();
  EXPECT_EQ(FileNames(), (std::vector<std::wstring>{L"only.wav"}));
  ExpectRowsMatchPlaylist();
}

TEST_F(ToolkitFacadeTest, ExitEndsThePlaybackThreadAndReleasesTheCore) {
  Init();
  AddWavs(2, 44100 * 10);
  facade_->PlayRow(0);
  ASSERT_TRUE(callback_->WaitFor("playing 0"));
  facade_->Exit();
  EXPECT_FALSE(facade_->IsInitialised());
  EXPECT_FALSE(facade_->GetPlaylist());
  EXPECT_EQ(facade_->HighlightedRow(), -1);
  EXPECT_EQ(facade_->Play(), kTkNotInitialised);
  callback_->Clear();
  // Once more works as a fresh start.
  const TkInitParams params{callback_, &rows_, &rows_, &dialogs_};
  EXPECT_EQ(facade_->Init(&params), kTkOk);
  EXPECT_EQ(facade_->GetPlaylist()->Count(), 0);
}

// A playback thread stuck inside a source read cannot end within Exit's
// wait: Exit returns, says so, and keeps what the thread uses until the
// thread ends, instead of pulling the playlist and plug-ins from under it.
TEST_F(ToolkitFacadeTest, AThreadThatOutlivesExitsWaitKeepsItsObjects) {
  auto gate = std::make_shared<platform::Event>(true);
  auto entered = std::make_shared<platform::Event>(true);
  CToolkitFacade::Options options;
  options.exitTimeout = 300ms;
  options.thread.sourceMaker =
      [gate, entered](std::int32_t, const std::wstring&,
                      const std::shared_ptr<CPluginCtrl>&) -> std::unique_ptr<CMusicData> {
    playertest::SourceScript script;
    script.chunks = 40;
    script.gateAt = 2;
    script.gate = gate;
    script.entered = entered;
    return std::make_unique<playertest::ScriptedSource>(script);
  };
  Init(options);
  AddWavs(1);
  facade_->PlayRow(0);
  ASSERT_TRUE(entered->WaitFor(20s));
  const auto playlist = facade_->GetPlaylist();
  facade_->Exit();
  EXPECT_FALSE(facade_->IsInitialised());
  const auto texts = errors_->Texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_NE(texts.back().find(L"did not end in time"), std::wstring::npos);
  EXPECT_GT(playlist.use_count(), 1);  // the thread's own reference, still alive
  gate->Set();
  facade_.reset();  // waits for the thread, then releases everything
  EXPECT_EQ(playlist.use_count(), 1);
}

}  // namespace
