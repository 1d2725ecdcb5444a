#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <thread>
#include <tuple>

#include "core/TrackSlots.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "platform/ErrorReport.h"
#include "sources/MusicDataWave.h"
#include "sources/SourceFactory.h"
#include "tests/core/FakeSystemMemory.h"
#include "tests/core/PlayerTestSupport.h"
#include "tests/core/PlaylistTestSupport.h"
#include "tests/core/ScriptedSource.h"

namespace {

using core::CTrackSlots;
using fixtures::Bytes;
using playertest::ReadLog;
using playertest::RecordingErrors;
using playertest::ScriptedSource;
using playertest::SourceScript;
using playlisttest::Wide;

struct Block {
  Bytes bytes;
  output::BlockDescription description;  // data points nowhere useful
};

// Pops the blocks of `slot` up to and including its end block.
std::vector<Block> DrainSlot(const core::CDecodedDataQueue& queue, std::uint32_t slot) {
  std::vector<Block> blocks;
  std::vector<std::uint8_t> buffer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    output::BlockDescription description;
    if (queue.Pop(&description, &buffer, slot) != core::kQueueOk) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    const auto* data = static_cast<const std::uint8_t*>(description.data);
    blocks.push_back({Bytes(data, data + description.size), description});
    if (description.data == nullptr) return blocks;
  }
  ADD_FAILURE() << "no end block for slot " << slot;
  return blocks;
}

std::uint32_t CountSlot(const core::CDecodedDataQueue& queue, std::uint32_t slot) {
  std::uint32_t count = 0;
  queue.CountSlot(slot, &count);
  return count;
}

class TrackSlotsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetAppErrorManager(errors_);
    SetEngineSettings({});
  }
  void TearDown() override {
    slots_.reset();
    platform::SetAppErrorManager(nullptr);
    SetEngineSettings({});
  }

  // Slots whose sources follow the scripts, keyed by the item's path.
  void MakeSlots(std::int32_t ramMode = 0,
                 std::shared_ptr<platform::ISystemMemory> system = nullptr) {
    CTrackSlots::Links links;
    links.playlist = playlist_;
    links.worker.playbackThread = messages_;
    links.worker.system = std::move(system);
    links.worker.onLoading = [this](std::int32_t percent) {
      std::lock_guard lock(progressMutex_);
      progress_.push_back(percent);
    };
    links.sourceMaker =
        [this](std::int32_t type, const std::wstring& path,
               const std::shared_ptr<CPluginCtrl>& plugins) -> std::unique_ptr<CMusicData> {
      const auto script = scripts_.find(path);
      if (script != scripts_.end()) return std::make_unique<ScriptedSource>(script->second);
      return CreateSourceForType(type, path, plugins);
    };
    slots_ = std::make_unique<CTrackSlots>(links, ramMode);
  }

  void AddScripted(const std::wstring& path, SourceScript script) {
    TrackInfo item;
    item.path = path;
    item.type = kSourceTypeWave;
    ScriptedSource probe(script);
    probe.GetTrackInfo(0, &item);
    item.path = path;
    scripts_[path] = std::move(script);
    playlist_->Append(item);
  }

  std::vector<platform::ThreadMessage> Messages() {
    std::vector<platform::ThreadMessage> out;
    while (auto message = messages_->TryTake())
      out.push_back(*message);
    return out;
  }
  std::vector<std::int32_t> Progress() {
    std::lock_guard lock(progressMutex_);
    return progress_;
  }

  std::shared_ptr<RecordingErrors> errors_ = std::make_shared<RecordingErrors>();
  std::shared_ptr<CPlaylistCtrl> playlist_ = playlisttest::NewPlaylist();
  std::shared_ptr<platform::ThreadMessageQueue> messages_ =
      std::make_shared<platform::ThreadMessageQueue>();
  std::map<std::wstring, SourceScript> scripts_;
  std::mutex progressMutex_;
  std::vector<std::int32_t> progress_;
  std::unique_ptr<CTrackSlots> slots_;
};

TEST(ExpectedTrackBytesTest, SpreadsTheTotalOverTheRangeInWholeBlocks) {
  const struct {
    std::uint32_t total, length;
    std::uint16_t align;
    std::uint32_t start, end, position, expected;
  } cases[] = {
      {176400, 75, 4, 0, 74, 0, 176400},        // the whole track
      {176400, 75, 4, 0, 74, 25, 117600},       // from a third in
      {176400, 75, 4, 10, 19, 0, 23520},        // a part of the file
      {1000, 3, 6, 0, 2, 1, 666},               // rounded down to whole blocks
      {1000, 0, 0, 0, 0, 0, 1000},              // no length, no alignment
      {176400, 75, 4, 0, 74, 75, 0},            // position past the end: nothing
      {176400, 75, 4, 70, 74, 10, 0},           // start + position past the end
      {0xFFFFFFFF, 1, 1, 0, 9, 0, 0xFFFFFFFF},  // saturates instead of wrapping
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.total << "/" << c.length << " " << c.start << ".." << c.end
                                    << "+" << c.position);
    EXPECT_EQ(core::ExpectedTrackBytes(c.total, c.length, c.align, c.start, c.end, c.position),
              c.expected);
  }
}

TEST(MusicDataAnalyzeTest, ItsRecordIsReadWhileAReadIsInProgress) {
  auto gate = std::make_shared<platform::Event>(true);
  auto entered = std::make_shared<platform::Event>(true);
  SourceScript script{.gateAt = 0, .gate = gate, .entered = entered};
  core::CMusicDataAnalyze slot(
      [&](std::int32_t, const std::wstring&, const std::shared_ptr<CPluginCtrl>&) {
        return std::make_unique<ScriptedSource>(script);
      });
  ASSERT_EQ(slot.OpenTrack({nullptr, kSourceTypeWave, L"slow", false, -96.0}), kMusicOk);

  // A read that takes long (a CD spinning up) holds the source lock...
  std::thread reader([&] {
    void* data = nullptr;
    std::uint32_t size = 0;
    if (slot.Read(&data, &size) == kMusicOk) slot.ReleaseChunk(data);
  });
  ASSERT_TRUE(entered->WaitFor(std::chrono::seconds(10)));
  // ...while the playback thread asks what it opened.
  auto answers = std::async(std::launch::async, [&] {
    return std::make_tuple(slot.Format().nSamplesPerSec, slot.IsDsd(), slot.IsMultiInstance(),
                           slot.Track().path, slot.IsOpen());
  });
  const bool answered = answers.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  gate->Set();
  reader.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(answers.get(), std::make_tuple(44100u, false, true, std::wstring(L"slow"), true));
}

TEST(RamTrackFitsTest, RefusesTracksThatWouldCrowdOutTheSystem) {
  constexpr std::uint64_t MiB = 1 << 20, GiB = std::uint64_t{1} << 30;
  const struct {
    const char* name;
    std::uint64_t expected, available, total;
    bool fits;
  } cases[] = {
      {"small track, big machine", 100 * MiB, 8 * GiB, 16 * GiB, true},
      {"3.5 GiB exactly", 3758096384, 8 * GiB, 16 * GiB, true},
      {"3.5 GiB and a byte", 3758096385, 8 * GiB, 16 * GiB, false},
      {"more than 1.2 x available", 121 * MiB, 100 * MiB, 16 * GiB, false},
      {"available counted up to 4 GiB", 4915 * MiB, 64 * GiB, 64 * GiB, false},
      {"more than 90 % of all memory", 910 * MiB, 2 * GiB, 1000 * MiB, false},
      {"leaves less than 350 MiB", 700 * MiB, 2 * GiB, 1000 * MiB, false},
      {"350 MiB machine refuses everything", 1, 350 * MiB, 350 * MiB, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(core::RamTrackFits(c.expected, {c.total, c.available}), c.fits);
  }
}

TEST(DecodeTurnsTest, WorkersDecodeInTheOrderTheyWereStarted) {
  core::DecodeTurns turns;
  platform::Event noStop(true);
  const std::uint64_t first = turns.Take();
  const std::uint64_t second = turns.Take();
  const std::uint64_t third = turns.Take();

  // The second worker's thread runs first: it waits for the first's turn.
  std::atomic<bool> secondDecoding{false};
  std::thread secondWorker([&] {
    if (turns.Acquire(second, noStop)) secondDecoding = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(secondDecoding);
  ASSERT_TRUE(turns.Acquire(first, noStop));
  EXPECT_FALSE(secondDecoding);
  turns.Release();
  secondWorker.join();
  EXPECT_TRUE(secondDecoding);

  // A stopped waiter gives its place up; the one after it goes on.
  platform::Event stop(true);
  const std::uint64_t fourth = turns.Take();
  stop.Set();
  EXPECT_FALSE(turns.Acquire(third, stop));
  turns.Release();
  EXPECT_TRUE(turns.Acquire(fourth, noStop));
  turns.Release();
}

TEST_F(TrackSlotsTest, WaveItemDecodesBlockForBlockAfterTheLeadIn) {
  fixtures::TempDir dir;
  const std::string path = dir.File("tone.wav");
  playlisttest::WriteTone(path, 2);
  ASSERT_EQ(playlist_->AddFile(Wide(path), -1), 1);

  // The blocks the file's source hands out, read on their own.
  std::vector<Bytes> reference;
  {
    CMusicDataWave wave;
    ASSERT_EQ(wave.Open({Wide(path)}), kMusicOk);
    SourceBuffer chunk;
    while (ReadChunk(wave, chunk) == kMusicOk)
      reference.emplace_back(chunk.data(), chunk.data() + chunk.size());
  }
  ASSERT_GE(reference.size(), 2u);

  for (const bool standstill : {true, false}) {
    SCOPED_TRACE(standstill ? "start from standstill" : "continuation");
    MakeSlots();
    if (standstill) SetLeadInPending();
    ASSERT_TRUE(slots_->OpenSlot(0, true));
    ASSERT_TRUE(slots_->StartDecoding());
    EXPECT_EQ(slots_->NextSlot(), 1);
    std::vector<Block> blocks = DrainSlot(slots_->Queue(), 0);
    ASSERT_FALSE(blocks.empty());
    EXPECT_EQ(blocks.back().description.size, 0u);
    blocks.pop_back();

    if (standstill) {
      // 0.1 s of 16-bit stereo silence first.
      ASSERT_FALSE(blocks.empty());
      EXPECT_EQ(blocks.front().bytes, Bytes(4410 * 4, 0));
      blocks.erase(blocks.begin());
    }
    ASSERT_EQ(blocks.size(), reference.size());
    for (std::size_t i = 0; i < blocks.size(); ++i) {
      EXPECT_EQ(blocks[i].bytes, reference[i]) << "block " << i;
      EXPECT_EQ(blocks[i].description.formatCode, output::kFormatPcm16);
      EXPECT_EQ(blocks[i].description.channels, 2u);
      EXPECT_EQ(blocks[i].description.sampleRate, 44100u);
      EXPECT_EQ(blocks[i].description.slot, 0u);
    }
    EXPECT_FALSE(TakeLeadInPending()) << "the lead-in is taken once";
    slots_->StopWorkers();
    EXPECT_TRUE(slots_->Primed());
    EXPECT_TRUE(Messages().empty());
  }
}

TEST_F(TrackSlotsTest, TheSecondWorkerDecodesOnlyAfterTheFirstFinishedItsTrack) {
  auto log = std::make_shared<ReadLog>();
  auto gate = std::make_shared<platform::Event>(true);
  AddScripted(L"first", {.name = "first", .chunks = 6, .gateAt = 3, .gate = gate, .log = log});
  AddScripted(L"second", {.name = "second", .chunks = 3, .seed = 2, .log = log});
  MakeSlots();

  ASSERT_TRUE(slots_->OpenSlot(0, false));
  ASSERT_TRUE(slots_->StartDecoding());
  ASSERT_TRUE(slots_->OpenSlot(1, false));
  ASSERT_TRUE(slots_->StartDecoding());

  // The first worker is held in its fourth read; the second must not start
  // although the queue has room for it.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(CountSlot(slots_->Queue(), 1), 0u);
  for (const auto& entry : log->Entries())
    EXPECT_EQ(entry.rfind("first", 0), 0u) << entry;

  gate->Set();
  const std::vector<Block> first = DrainSlot(slots_->Queue(), 0);
  const std::vector<Block> second = DrainSlot(slots_->Queue(), 1);
  EXPECT_EQ(first.size(), 7u);   // six chunks and the end block
  EXPECT_EQ(second.size(), 4u);  // three chunks and the end block

  const std::vector<std::string> expected = {"first:0",  "first:1",  "first:2",
                                             "first:3",  "first:4",  "first:5",
                                             "second:0", "second:1", "second:2"};
  EXPECT_EQ(log->Entries(), expected);
}

TEST_F(TrackSlotsTest, StopEndsAWorkerWaitingForRoomAndOneWaitingForTheDecodeLock) {
  AddScripted(L"long", {.name = "long", .chunks = 1000});
  AddScripted(L"next", {.name = "next", .chunks = 3});
  MakeSlots();
  ASSERT_TRUE(slots_->OpenSlot(0, false));
  ASSERT_TRUE(slots_->StartDecoding());
  ASSERT_TRUE(slots_->OpenSlot(1, false));
  ASSERT_TRUE(slots_->StartDecoding());

  // Nobody drains the queue: the first worker fills it to its push limit
  // and waits for room, which primes the queue.
  ASSERT_FALSE(messages_->WaitForMessageOr([this] { return slots_->Primed(); }));
  EXPECT_EQ(CountSlot(slots_->Queue(), 0), 4u);

  // The prepared slot's worker, still waiting for the decode lock, ends
  // without pushing anything.
  slots_->EmptySlot(1);
  EXPECT_EQ(CountSlot(slots_->Queue(), 1), 0u);
  // The first ends too, without an end block, and nothing was posted.
  slots_->StopWorkers();
  EXPECT_EQ(CountSlot(slots_->Queue(), 0), 0u);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(TrackSlotsTest, ADecodingErrorSkipsOnlyFromThePlayingSlot) {
  for (const int playing : {0, 1}) {
    SCOPED_TRACE(playing == 0 ? "error in the playing slot" : "error in another slot");
    scripts_.clear();
    playlist_->RemoveAll();
    AddScripted(L"broken", {.name = "broken", .chunks = 5, .failAt = 2});
    MakeSlots();
    slots_->SetCurrentSlot(playing);
    ASSERT_TRUE(slots_->OpenSlot(0, false));
    ASSERT_TRUE(slots_->StartDecoding());
    // What was decoded plays, then the slot ends.
    EXPECT_EQ(DrainSlot(slots_->Queue(), 0).size(), 3u);
    slots_->StopWorkers();
    const auto messages = Messages();
    if (playing == 0) {
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].id, TM_NEXT);
      EXPECT_EQ(messages[0].wParam, 0);
    } else {
      EXPECT_TRUE(messages.empty());
    }
    // Either way the listener learns why the track ended early, and where.
    EXPECT_EQ(errors_->Texts(), std::vector<std::wstring>(playing + 1, L"Decode Failed.\nbroken"));
  }
}

TEST_F(TrackSlotsTest, RamModeDecodesTheWholeTrackWithRisingProgress) {
  auto machine = std::make_shared<coretest::FakeSystemMemory>();
  AddScripted(L"track", {.name = "track", .chunks = 50, .chunkBytes = 4000});
  MakeSlots(1, machine);
  EXPECT_EQ(slots_->QueueDepth(), 0);
  ASSERT_TRUE(slots_->OpenSlot(0, true));
  ASSERT_TRUE(slots_->StartDecoding());
  ASSERT_FALSE(messages_->WaitForMessageOr([this] { return slots_->Primed(); }));
  // The other slot has nothing queued: emptying it leaves this track whole.
  slots_->EmptySlot(1);
  // No limit: the whole track and its end block are queued before playing.
  EXPECT_EQ(CountSlot(slots_->Queue(), 0), 51u);

  const std::vector<std::int32_t> progress = Progress();
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress.front(), 1);
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(std::adjacent_find(progress.begin() + 1, progress.end()), progress.end())
      << "each percentage once";
  EXPECT_TRUE(errors_->Texts().empty());
}

TEST_F(TrackSlotsTest, RamModeRefusesATrackTheMachineCannotHold) {
  struct Case {
    const char* name;
    std::uint64_t available;
  };
  // A 200 MiB machine (100 MiB available) refuses every track at the
  // start; with 190 MiB of 380 MiB the track fits but decoding stops as
  // less than 200 MiB stay available.
  for (const Case c : {Case{"small machine", 100u << 20}, Case{"low memory", 190u << 20}}) {
    SCOPED_TRACE(c.name);
    auto machine = std::make_shared<coretest::FakeSystemMemory>();
    machine->availableBytes = c.available;
    scripts_.clear();
    playlist_->RemoveAll();
    progress_.clear();
    AddScripted(L"track", {.name = "track", .chunks = 20});
    MakeSlots(1, machine);
    ASSERT_TRUE(slots_->OpenSlot(0, true));
    ASSERT_TRUE(slots_->StartDecoding());
    while (!slots_->Primed())
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    slots_->StopWorkers();

    EXPECT_EQ(CountSlot(slots_->Queue(), 0), 0u);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, TM_STOP);
    EXPECT_EQ(errors_->Texts(), std::vector<std::wstring>{L"Not enough memory"});
    EXPECT_EQ(Progress(), (std::vector<std::int32_t>{1, 100}));
    platform::SetAppErrorManager(errors_ = std::make_shared<RecordingErrors>());
  }
}

TEST_F(TrackSlotsTest, ItemsThatCannotOpenLeaveTheSlotEmpty) {
  fixtures::TempDir dir;
  TrackInfo item;
  item.path = Wide(dir.File("missing.wav"));
  for (const std::int32_t type : {7, 0, static_cast<int>(kSourceTypeWave)}) {
    item.type = type;
    playlist_->Append(item);
  }
  AddScripted(L"refused", {.name = "refused", .openResult = kMusicErrDecode});
  MakeSlots();

  EXPECT_FALSE(slots_->OpenSlot(0, true));  // type 7 from a hand-edited file
  EXPECT_FALSE(slots_->OpenSlot(1, true));  // type 0
  EXPECT_TRUE(errors_->Texts().empty()) << "unknown types are not reported";
  EXPECT_FALSE(slots_->OpenSlot(2, false));
  EXPECT_TRUE(errors_->Texts().empty()) << "reported only when asked";
  EXPECT_FALSE(slots_->OpenSlot(2, true));
  EXPECT_EQ(errors_->Texts().size(), 1u);
  EXPECT_FALSE(slots_->OpenSlot(3, true));
  EXPECT_EQ(errors_->Texts().size(), 2u);
  EXPECT_EQ(slots_->Slot(slots_->NextSlot()), nullptr);
  // A slot without a source decodes nothing but still primes the queue.
  ASSERT_TRUE(slots_->StartDecoding());
  slots_->StopWorkers();
  EXPECT_TRUE(slots_->Primed());
  EXPECT_EQ(CountSlot(slots_->Queue(), 0), 0u);
}

TEST_F(TrackSlotsTest, Mp3GaplessOnlyBetweenTwoMp3Neighbours) {
  const struct {
    const char* name;
    std::int32_t setting;
    std::vector<std::int32_t> types;
    bool gapless;
  } cases[] = {
      {"two MP3 items", 1, {3, 3}, true},  {"setting off", 0, {3, 3}, false},
      {"MP3 then WAVE", 1, {3, 2}, false}, {"WAVE then MP3", 1, {2, 3}, false},
      {"a lone MP3", 1, {3}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    playlist_->RemoveAll();
    for (const std::int32_t type : c.types) {
      TrackInfo item;
      item.type = type;
      playlist_->Append(item);
    }
    EngineSettings settings;
    settings.mp3Gapless = c.setting;
    SetEngineSettings(settings);
    MakeSlots();
    EXPECT_EQ(slots_->Mp3PairRule(), c.gapless);
  }
}

}  // namespace
