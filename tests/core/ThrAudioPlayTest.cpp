#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/ThrAudioPlay.h"
#include "output/AsioWrapper.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "platform/ErrorReport.h"
#include "tests/core/FakeSystemMemory.h"
#include "tests/core/PlayerTestSupport.h"
#include "tests/core/PlaylistTestSupport.h"
#include "tests/core/ScriptedSource.h"
#include "tests/fixtures/DeviceSamples.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/SameElements.h"
#include "tests/output/AsioTestSupport.h"

namespace {

using fixtures::Bytes;
using playertest::RecordingErrors;
using playertest::RecordingPlayer;
using playlisttest::Wide;
using Samples = fixtures::DeviceSamples;

constexpr std::uint32_t kHalf = 512;  // the virtual DAC's buffer size here
constexpr std::uint32_t kLeadIn = 4410;

using fixtures::ChannelOf16;
using fixtures::JoinSamples;
using fixtures::SamplesOfCapture;

// The capture with the trailing silence after the last sound cut off.
Samples WithoutTail(Samples samples) {
  while (!samples.empty() && samples.back() == 0)
    samples.pop_back();
  return samples;
}

// The playback thread with its own output engine on a virtual DAC that
// plays at its rate in real time (its clock thread is stopped and joined
// whenever the engine stops or closes the device, so the playback thread may
// do so at any moment) and captures what it plays; with output-ready, as the
// device is by default. With output-ready the engine ends a track in the
// buffer switch that wrote its last samples, which the device plays only
// after the next one: at a natural end the playback thread lets it play them
// (DrainAndStop) before it stops or restarts the output.
class ThrAudioPlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    UseDac(true);
    EngineSettings settings;
    settings.deviceName = L"Virtual";
    SetEngineSettings(settings);
    platform::SetAppErrorManager(errors_);
  }
  void TearDown() override {
    thread_.reset();
    platform::SetAppErrorManager(nullptr);
    SetEngineSettings({});
  }

  // Registers the virtual DAC, with or without output-ready.
  void UseDac(bool outputReady) {
    registry_.Add("dac.ini", "Virtual", asiotest::kClassA, asiotest::kVirtualDac,
                  "Capture=" + registry_.File("cap") + "\nBufferSize=" + std::to_string(kHalf) +
                      "\nOutputReady=" + (outputReady ? "1" : "0") + "\n");
  }

  // A 16-bit stereo file of `frames` frames; returns its sample bytes.
  Bytes AddWav(const std::string& name, std::uint32_t frames, std::uint32_t rate = 44100,
               std::uint32_t seed = 1) {
    const Bytes samples = fixtures::AudioPattern(std::size_t{frames} * 4, seed);
    const std::string path = dir_.File(name);
    fixtures::WriteWav(path, {1, 2, rate, 16}, samples);
    EXPECT_EQ(playlist_->AddFile(Wide(path), playlist_->Count()), 1);
    return samples;
  }

  void StartThread() {
    CThrAudioPlay::Options options;
    options.leadInSeconds = [] { return 0.1; };
    thread_ = std::make_unique<CThrAudioPlay>(nullptr, playlist_, player_, options);
    ASSERT_TRUE(thread_->Start());
  }

  // Plays one DSF file alone to its end with the plug-ins in `plugins`.
  void PlayDsf(const std::shared_ptr<CPluginCtrl>& plugins, std::int32_t decodeMode,
               const Bytes& file) {
    EngineSettings settings = GetEngineSettings();
    settings.decodeMode = decodeMode;
    SetEngineSettings(settings);
    playlist_ = playlisttest::NewPlaylist(plugins);
    fixtures::WriteFile(dir_.File("tone.dsf"), file);
    ASSERT_EQ(playlist_->AddFile(Wide(dir_.File("tone.dsf")), 0), 1);
    player_ = std::make_shared<RecordingPlayer>();
    CThrAudioPlay::Options options;
    options.leadInSeconds = [] { return 0.1; };
    thread_ = std::make_unique<CThrAudioPlay>(plugins, playlist_, player_, options);
    ASSERT_TRUE(thread_->Start());
    thread_->Post(TM_PLAY_ITEM, 0, 3);
    ASSERT_TRUE(player_->WaitFor("stopped"));
    thread_.reset();
  }

  Samples Capture(int channel) {
    return SamplesOfCapture(
        fixtures::ReadFile(registry_.File("cap") + "." + std::to_string(channel) + ".raw"));
  }
  std::string Log() {
    const Bytes log = fixtures::ReadFile(registry_.File("cap.log"));
    return std::string(log.begin(), log.end());
  }

  asiotest::DriverRegistry registry_;
  std::shared_ptr<CAsioWrapperImpl> binding_ = CAsioWrapperImpl::Create(L"/nonexistent");
  fixtures::TempDir dir_;
  std::shared_ptr<RecordingErrors> errors_ = std::make_shared<RecordingErrors>();
  std::shared_ptr<CPlaylistCtrl> playlist_ = playlisttest::NewPlaylist();
  std::shared_ptr<RecordingPlayer> player_ = std::make_shared<RecordingPlayer>();
  std::unique_ptr<CThrAudioPlay> thread_;
};

TEST_F(ThrAudioPlayTest, TwoItemsOfOneFormatPlayEndToEndWithoutAGap) {
  const Bytes first = AddWav("first.wav", 22050, 44100, 1);
  const Bytes second = AddWav("second.wav", 17640, 44100, 2);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  thread_->Stop();  // the end of the track's handling is done

  // One half of prefill, the lead-in, then both files sample for sample.
  for (int channel = 0; channel < 2; ++channel) {
    SCOPED_TRACE(channel);
    const Samples expected = JoinSamples(
        {Samples(kHalf + kLeadIn, 0), ChannelOf16(first, channel), ChannelOf16(second, channel)});
    const Samples played = WithoutTail(Capture(channel));
    EXPECT_TRUE(fixtures::SameElements(played, WithoutTail(expected)));
  }
  // The second item joined the stream: one start of the device, no stop
  // between the two playing reports, and one record per start.
  EXPECT_EQ(Log(), "start rate=44100 format=pcm type=18 buffer=512 channels=2\n");
  EXPECT_EQ(player_->Events(),
            (std::vector<std::string>{"request", "playing 0 user", "playing 1", "stopped"}));
  EXPECT_EQ(player_->playingRecords, 2);
  EXPECT_EQ(playlist_->PlayPosition(), 0) << "the end of the playlist rewinds it";
  EXPECT_EQ(thread_->TransportState(), core::Transport::kStopped);
  EXPECT_TRUE(errors_->Texts().empty());
}

TEST_F(ThrAudioPlayTest, PauseResumeAndStopKeepTheStreamWhole) {
  const Bytes audio = AddWav("long.wav", 44100 * 3);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("playing 0 user"));
  // A pause before the output runs is discarded: pause a second in.
  ASSERT_TRUE(player_->WaitForSecond(1));
  thread_->Post(TM_PAUSE, 1);
  ASSERT_TRUE(player_->WaitFor("paused"));
  EXPECT_EQ(thread_->TransportState(), core::Transport::kPaused);
  // Playing the paused item again without a restart resumes it.
  thread_->Post(TM_PLAY_ITEM, 0, 1);
  ASSERT_TRUE(player_->WaitFor("resumed"));
  ASSERT_TRUE(player_->WaitForSecond(2));
  thread_->Post(TM_PAUSE, 1);
  ASSERT_TRUE(player_->WaitFor("paused", 2));
  thread_->Post(TM_PAUSE, 1);
  ASSERT_TRUE(player_->WaitFor("resumed", 2));
  thread_->Post(TM_STOP, 1);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  const Samples played = WithoutTail(Capture(0));
  const std::string log = Log();

  // A pause while stopped changes nothing (the play after it shows it was
  // handled).
  thread_->Post(TM_PAUSE, 1);
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("playing 0 user", 2));
  thread_->Stop();
  const std::vector<std::string> events = player_->Events();
  EXPECT_EQ(
      std::vector<std::string>(events.begin(), events.begin() + 10),
      (std::vector<std::string>{"request", "playing 0 user", "paused", "request", "resumed",
                                "paused", "resumed", "stopped", "request", "playing 0 user"}));

  // The device started three times (play and two resumes), at one rate.
  const std::string start = "start rate=44100 format=pcm type=18 buffer=512 channels=2\n";
  EXPECT_EQ(log, start + start + start);
  // Whatever was heard is the file from its start, nothing lost or doubled.
  ASSERT_GT(played.size(), kHalf + kLeadIn + 44100);
  EXPECT_TRUE(std::all_of(played.begin(), played.begin() + kHalf + kLeadIn,
                          [](std::uint32_t s) { return s == 0; }));
  EXPECT_TRUE(fixtures::HoldsAt(ChannelOf16(audio, 0), 0,
                                Samples(played.begin() + kHalf + kLeadIn, played.end())));
}

TEST_F(ThrAudioPlayTest, SeekPlaysOnFromTheTargetSecond) {
  const Bytes audio = AddWav("long.wav", 44100 * 3);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("playing 0 user"));
  ASSERT_TRUE(player_->WaitForOutput());
  thread_->Post(TM_SEEK, 2);
  ASSERT_TRUE(player_->WaitFor("stopped"));

  // The capture ends with the file from second 2, after what played of it
  // before the seek.
  const Samples file = ChannelOf16(audio, 0);
  const Samples fromTwo(file.begin() + 88200, file.end());
  const Samples played = WithoutTail(Capture(0));
  ASSERT_GT(played.size(), fromTwo.size());
  EXPECT_TRUE(fixtures::HoldsAt(played, played.size() - fromTwo.size(), fromTwo));
  Samples before = WithoutTail(Samples(played.begin(), played.end() - fromTwo.size()));
  before.erase(before.begin(),
               std::find_if(before.begin(), before.end(), [](std::uint32_t s) { return s != 0; }));
  EXPECT_TRUE(fixtures::HoldsAt(file, 0, before));
  EXPECT_EQ(player_->States(), (std::vector<std::string>{"playing 0 user", "stopped"}));
  // The seek reports the new time at once.
  bool reportedTwo = false;
  for (const auto& [track, playlist] : player_->Times())
    reportedTwo = reportedTwo || (track == 2 && playlist == 2);
  EXPECT_TRUE(reportedTwo);
}

TEST_F(ThrAudioPlayTest, NextAndPreviousStepThroughThePlaylist) {
  for (std::uint32_t i = 0; i < 4; ++i)
    AddWav("item" + std::to_string(i) + ".wav", 44100 * 2, 44100, i + 1);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("playing 0 user"));
  // A burst: every next counts.
  thread_->Post(TM_NEXT, 1);
  thread_->Post(TM_NEXT, 1);
  thread_->Post(TM_NEXT, 1);
  ASSERT_TRUE(player_->WaitFor("playing 3 user"));
  EXPECT_EQ(playlist_->PlayPosition(), 3);
  thread_->Post(TM_PREVIOUS, 1);
  ASSERT_TRUE(player_->WaitFor("playing 2 user"));
  // A play request queued behind a later next is dropped; the next moves on
  // from the playing item.
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  thread_->Post(TM_NEXT, 1);
  ASSERT_TRUE(player_->WaitFor("playing 3 user", 2));
  // Next at the last item stops in order mode.
  thread_->Post(TM_NEXT, 1);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  thread_->Stop();
  EXPECT_EQ(
      player_->States(),
      (std::vector<std::string>{"playing 0 user", "playing 1 user", "playing 2 user",
                                "playing 3 user", "playing 2 user", "playing 3 user", "stopped"}));
  EXPECT_EQ(player_->playingRecords, 6);
}

TEST_F(ThrAudioPlayTest, RepeatModesWrapAtTheEnds) {
  for (std::uint32_t i = 0; i < 2; ++i)
    AddWav("item" + std::to_string(i) + ".wav", 44100 * 2, 44100, i + 1);
  StartThread();
  thread_->Post(TM_SET_REPEAT, 2);
  thread_->Post(TM_PLAY_ITEM, 1, 3);
  ASSERT_TRUE(player_->WaitFor("playing 1 user"));
  thread_->Post(TM_NEXT, 1);  // past the last: the first
  ASSERT_TRUE(player_->WaitFor("playing 0 user"));
  thread_->Post(TM_PREVIOUS, 1);  // before the first: the last
  ASSERT_TRUE(player_->WaitFor("playing 1 user", 2));
  thread_->Post(TM_SET_REPEAT, 0);
  thread_->Post(TM_PREVIOUS, 1);
  ASSERT_TRUE(player_->WaitFor("playing 0 user", 2));
  thread_->Post(TM_PREVIOUS, 1);  // at the first in order mode: stop
  ASSERT_TRUE(player_->WaitFor("stopped"));
}

TEST_F(ThrAudioPlayTest, ItemsThatCannotOpenAreSkippedInTheDirectionOfTravel) {
  AddWav("first.wav", 44100 * 2, 44100, 1);
  TrackInfo missing;
  missing.type = kSourceTypeWave;
  missing.path = Wide(dir_.File("missing.wav"));
  missing.fileName = L"missing.wav";
  playlist_->Insert(missing, 1);
  AddWav("third.wav", 44100 * 2, 44100, 3);
  StartThread();

  // Forwards: the failure is reported and the thread moves on.
  thread_->Post(TM_PLAY_ITEM, 1, 3);
  ASSERT_TRUE(player_->WaitFor("playing 2"));
  EXPECT_EQ(errors_->Texts().size(), 1u);
  TrackInfo item;
  playlist_->GetItem(1, &item);
  EXPECT_TRUE(IsMarkedUnplayable(item));
  // Backwards over the marked item: skipped without opening it again.
  thread_->Post(TM_PREVIOUS, 1);
  ASSERT_TRUE(player_->WaitFor("playing 0"));
  thread_->Post(TM_STOP, 1);
  ASSERT_TRUE(player_->WaitFor("stopped", 2));
  thread_->Stop();
  EXPECT_EQ(player_->Events(),
            (std::vector<std::string>{"request", "stopped", "request", "playing 2", "request",
                                      "skipped missing.wav", "request", "playing 0", "stopped"}));
  EXPECT_EQ(errors_->Texts().size(), 1u);
  playlist_->GetItem(1, &item);
  EXPECT_FALSE(IsMarkedUnplayable(item)) << "a stop clears the marks";
}

TEST_F(ThrAudioPlayTest, ANewNextItemReplacesThePreparedOne) {
  // The feeder runs up to 300 chunks (over 3 million samples) ahead of the
  // device: a short track is fed whole, and the prepared one after it, long
  // before it ends; at 768 kHz a long track is still being fed.
  const struct {
    const char* name;
    std::uint32_t rate, firstFrames, otherFrames;
  } cases[] = {
      {"fed past the playing track", 44100, 66150, 22050},
      {"still feeding the playing track", 768000, 768000 * 5, 76800},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    playlist_->RemoveAll();
    const Bytes a = AddWav(std::string("a") + c.name + ".wav", c.firstFrames, c.rate, 1);
    const Bytes b = AddWav(std::string("b") + c.name + ".wav", c.otherFrames, c.rate, 2);
    const Bytes replacement = AddWav(std::string("c") + c.name + ".wav", c.otherFrames, c.rate, 3);
    player_ = std::make_shared<RecordingPlayer>();
    StartThread();
    thread_->Post(TM_PLAY_ITEM, 0, 3);
    ASSERT_TRUE(player_->WaitFor("playing 0 user"));
    ASSERT_TRUE(player_->WaitForOutput());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the feeder goes on
    // The user moves the last item up: it plays next instead.
    const std::int32_t moved[] = {2};
    ASSERT_TRUE(playlist_->Move(moved, 1));
    thread_->Post(TM_NEXT_CHANGED);
    ASSERT_TRUE(player_->WaitFor("stopped", 1, std::chrono::seconds(60)));
    thread_->Stop();

    EXPECT_EQ(player_->States(),
              (std::vector<std::string>{"playing 0 user", "playing 1", "playing 2", "stopped"}));
    const Samples expected =
        WithoutTail(JoinSamples({Samples(kHalf + c.rate / 10, 0), ChannelOf16(a, 0),
                                 ChannelOf16(replacement, 0), ChannelOf16(b, 0)}));
    const Samples played = WithoutTail(Capture(0));
    EXPECT_TRUE(fixtures::SameElements(played, expected));
    thread_.reset();
    std::remove((registry_.File("cap") + ".0.raw").c_str());
    std::remove((registry_.File("cap") + ".1.raw").c_str());
  }
}

TEST_F(ThrAudioPlayTest, RamModeLoadsEachTrackWholeBeforeItPlays) {
  EngineSettings settings = GetEngineSettings();
  settings.ramMode = 1;
  SetEngineSettings(settings);
  const Bytes first = AddWav("first.wav", 44100, 44100, 1);
  const Bytes second = AddWav("second.wav", 22050, 44100, 2);
  CThrAudioPlay::Options options;
  options.leadInSeconds = [] { return 0.1; };
  // Locked memory of a few pages; the rest of each track in ordinary pages.
  options.system = std::make_shared<coretest::FakeSystemMemory>();
  thread_ = std::make_unique<CThrAudioPlay>(nullptr, playlist_, player_, options);
  ASSERT_TRUE(thread_->Start());
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  thread_->Stop();

  // Per track: loading from 1 to 100, rising, before the track is over.
  std::vector<std::vector<int>> loads;
  std::vector<std::string> states;
  for (const std::string& event : player_->States()) {
    if (event.rfind("loading ", 0) == 0) {
      if (event == "loading 1") loads.emplace_back();
      ASSERT_FALSE(loads.empty());
      loads.back().push_back(std::stoi(event.substr(8)));
    } else {
      states.push_back(event);
    }
  }
  EXPECT_EQ(states, (std::vector<std::string>{"playing 0 user", "playing 1", "stopped"}));
  ASSERT_EQ(loads.size(), 2u);
  for (const auto& load : loads) {
    EXPECT_EQ(load.back(), 100);
    EXPECT_TRUE(std::is_sorted(load.begin(), load.end()));
  }
  // Both tracks whole; the second, started afresh, after its own lead-in.
  const Samples played = WithoutTail(Capture(0));
  const Samples a = ChannelOf16(first, 0), b = ChannelOf16(second, 0);
  ASSERT_GT(played.size(), kHalf + kLeadIn + a.size() + b.size());
  EXPECT_TRUE(fixtures::HoldsAt(played, kHalf + kLeadIn, a));
  EXPECT_TRUE(fixtures::HoldsAt(played, played.size() - b.size(), b));
  EXPECT_TRUE(errors_->Texts().empty());
}

TEST_F(ThrAudioPlayTest, ShufflePlaysEveryItemOnceThenStops) {
  for (std::uint32_t i = 0; i < 3; ++i)
    AddWav("item" + std::to_string(i) + ".wav", 8820, 44100, i + 1);
  playlist_->RebuildOrder(true, -1);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, playlist_->PlayOrder()[0], 3);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  std::vector<std::string> started;
  for (const auto& state : player_->States()) {
    if (state.rfind("playing ", 0) == 0) started.push_back(state.substr(8, 1));
  }
  std::sort(started.begin(), started.end());
  EXPECT_EQ(started, (std::vector<std::string>{"0", "1", "2"}));
  // Shuffle off: the order is the items' again (the next play shows it
  // was handled).
  const auto events = player_->Events();
  const int userStarts =
      static_cast<int>(std::count(events.begin(), events.end(), "playing 1 user"));
  thread_->Post(TM_SET_SHUFFLE, 0);
  thread_->Post(TM_PLAY_ITEM, 1, 3);
  ASSERT_TRUE(player_->WaitFor("playing 1 user", userStarts + 1));
  EXPECT_FALSE(playlist_->IsShuffle());
  EXPECT_EQ(playlist_->PlayOrder(), (std::vector<std::int32_t>{0, 1, 2}));
}

TEST_F(ThrAudioPlayTest, AnOutputChangeStopsWhatPlaysAndPlayingGoesOnAfterIt) {
  AddWav("long.wav", 44100 * 3);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("playing 0 user"));
  ASSERT_TRUE(player_->WaitForOutput());
  // A change of device or RAM mode replaces the queue the workers fill.
  thread_->Post(TM_OUTPUT_CHANGED);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("playing 0 user", 2));
  ASSERT_TRUE(player_->WaitForSecond(1));
  // Ending the thread while it plays stops the output and the workers.
  thread_.reset();
  EXPECT_EQ(player_->States(),
            (std::vector<std::string>{"playing 0 user", "stopped", "playing 0 user"}));
}

TEST_F(ThrAudioPlayTest, ASeekWhilePausedStaysPausedUntilResumed) {
  const Bytes audio = AddWav("long.wav", 44100 * 3);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitForSecond(1));
  thread_->Post(TM_PAUSE, 1);
  ASSERT_TRUE(player_->WaitFor("paused"));
  // A pause would be dropped while the seek waits for data; playing the
  // paused item resumes it once the seek is done.
  thread_->Post(TM_SEEK, 2);
  thread_->Post(TM_PLAY_ITEM, 0, 1);
  ASSERT_TRUE(player_->WaitFor("resumed"));
  ASSERT_TRUE(player_->WaitFor("stopped"));
  EXPECT_EQ(player_->States(),
            (std::vector<std::string>{"playing 0 user", "paused", "resumed", "stopped"}));
  const Samples file = ChannelOf16(audio, 0);
  const Samples played = WithoutTail(Capture(0));
  ASSERT_GT(played.size(), file.size() - 88200);
  EXPECT_TRUE(fixtures::HoldsAt(played, played.size() - (file.size() - 88200),
                                Samples(file.begin() + 88200, file.end())));
}

TEST_F(ThrAudioPlayTest, AnItemTheOutputCannotPlayIsSkipped) {
  fixtures::WriteWav(dir_.File("eight.wav"), {1, 2, 44100, 8}, fixtures::AudioPattern(8820));
  ASSERT_EQ(playlist_->AddFile(Wide(dir_.File("eight.wav")), 0), 1);
  AddWav("good.wav", 8820);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  thread_->Stop();
  EXPECT_EQ(player_->Events(),
            (std::vector<std::string>{"request", "playing 0 user", "skipped eight.wav", "request",
                                      "playing 1", "stopped"}));
  EXPECT_EQ(errors_->Texts(), std::vector<std::wstring>{L"Non playable file."});
}

TEST_F(ThrAudioPlayTest, EndingTheThreadDoesNotWaitForATrackToLoad) {
  EngineSettings settings = GetEngineSettings();
  settings.ramMode = 1;
  SetEngineSettings(settings);
  TrackInfo item;
  item.type = kSourceTypeWave;
  item.path = L"scripted";
  playlist_->Append(item);
  // A track that loads until the test lets its third read go on.
  auto gate = std::make_shared<platform::Event>(true);
  CThrAudioPlay::Options options;
  options.leadInSeconds = [] { return 0.1; };
  options.system = std::make_shared<coretest::FakeSystemMemory>();
  options.sourceMaker = [&](std::int32_t, const std::wstring&,
                            const std::shared_ptr<CPluginCtrl>&) {
    return std::make_unique<playertest::ScriptedSource>(
        playertest::SourceScript{.chunks = 1000, .chunkBytes = 4096, .gateAt = 2, .gate = gate});
  };
  thread_ = std::make_unique<CThrAudioPlay>(nullptr, playlist_, player_, options);
  ASSERT_TRUE(thread_->Start());
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("playing 0 user"));

  std::thread owner([&] { thread_->Stop(); });
  // The thread takes the quit while it waits for the track and leaves the
  // wait at once: once it has taken it, the output never starts, however
  // soon the track is loaded.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (thread_->Messages()->Size() != 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(thread_->Messages()->Size(), 0u) << "the quit was never taken";
  gate->Set();
  owner.join();
  EXPECT_EQ(fixtures::ReadFile(registry_.File("cap.log")).size(), 0u) << "the output never started";
}

TEST_F(ThrAudioPlayTest, APlayRequestPastTheEndStopsAndSaysSo) {
  AddWav("only.wav", 44100 * 2);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("playing 0 user"));
  thread_->Post(TM_PLAY_ITEM, 5, 3);  // the list changed under the request
  ASSERT_TRUE(player_->WaitFor("stopped"));
  thread_->Stop();
  EXPECT_EQ(thread_->TransportState(), core::Transport::kStopped);
  EXPECT_EQ(player_->Events(),
            (std::vector<std::string>{"request", "playing 0 user", "request", "stopped"}));
}

// ------------------------------------------------------------ natural ends

// The samples of a capture after `at`: silence only (the idle signal), and at
// least one half of it.
void ExpectOnlySilenceFrom(const Samples& capture, std::size_t at, std::uint32_t silence = 0) {
  ASSERT_GE(capture.size(), at + kHalf) << "the device stopped as the track ended";
  const auto sound = std::find_if(capture.begin() + static_cast<std::ptrdiff_t>(at), capture.end(),
                                  [&](std::uint32_t s) { return s != silence; });
  EXPECT_EQ(sound, capture.end()) << "sound at sample " << (sound - capture.begin())
                                  << " after the end";
}

// The index of the first sample at or after `from` that is not 0.
std::size_t NextSound(const Samples& samples, std::size_t from) {
  const auto it = std::find_if(samples.begin() + static_cast<std::ptrdiff_t>(from), samples.end(),
                               [](std::uint32_t s) { return s != 0; });
  return static_cast<std::size_t>(it - samples.begin());
}

// The natural ends, on a DAC with output-ready and on one without: every
// sample of the track that ends reaches the device before the playback
// thread stops or restarts the output.
class ThrAudioPlayEndTest : public ThrAudioPlayTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ThrAudioPlayTest::SetUp();
    UseDac(GetParam());
  }
};

TEST_P(ThrAudioPlayEndTest, TheLastItemPlaysToItsLastSampleThenTheDeviceIdles) {
  const Bytes audio = AddWav("only.wav", 8820);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  thread_->Stop();
  EXPECT_EQ(player_->States(), (std::vector<std::string>{"playing 0 user", "stopped"}));
  for (int channel = 0; channel < 2; ++channel) {
    SCOPED_TRACE(channel);
    const Samples expected =
        JoinSamples({Samples(kHalf + kLeadIn, 0), ChannelOf16(audio, channel)});
    const Samples played = Capture(channel);
    ASSERT_TRUE(fixtures::HoldsAt(played, 0, expected)) << "the track is not whole";
    ExpectOnlySilenceFrom(played, expected.size());
  }
}

TEST_P(ThrAudioPlayEndTest, AnItemOfAnotherRateStartsAfterTheWholeFirstTrack) {
  const Bytes first = AddWav("first.wav", 8820, 44100, 1);
  const Bytes second = AddWav("second.wav", 9600, 48000, 2);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 1);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  thread_->Stop();
  EXPECT_EQ(Log(),
            "start rate=44100 format=pcm type=18 buffer=512 channels=2\n"
            "start rate=48000 format=pcm type=18 buffer=512 channels=2\n");
  EXPECT_EQ(player_->States(),
            (std::vector<std::string>{"playing 0 user", "playing 1", "stopped"}));
  for (int channel = 0; channel < 2; ++channel) {
    SCOPED_TRACE(channel);
    // At 44.1 kHz the first track whole, then the idle signal until the
    // device restarts at 48 kHz: its prefill, its lead-in, the second track.
    const Samples atFirstRate =
        JoinSamples({Samples(kHalf + kLeadIn, 0), ChannelOf16(first, channel)});
    const Samples played = Capture(channel);
    ASSERT_TRUE(fixtures::HoldsAt(played, 0, atFirstRate)) << "the first track is not whole";
    const Samples secondPart = ChannelOf16(second, channel);
    const std::size_t secondAt = NextSound(played, atFirstRate.size());
    ASSERT_GE(secondAt, atFirstRate.size() + kHalf + kHalf + 4800)
        << "idle, the new prefill and lead-in";
    EXPECT_TRUE(fixtures::HoldsAt(played, secondAt, secondPart));
    ExpectOnlySilenceFrom(played, secondAt + secondPart.size());
  }
}

TEST_P(ThrAudioPlayEndTest, RepeatingOneItemRestartsItAfterItsLastSample) {
  const Bytes audio = AddWav("only.wav", 8820);
  StartThread();
  thread_->Post(TM_SET_REPEAT, 1);
  thread_->Post(TM_PLAY_ITEM, 0, 3);
  ASSERT_TRUE(player_->WaitFor("playing 0", 2));  // the third time it plays
  thread_->Post(TM_STOP, 1);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  thread_->Stop();
  const Samples track = ChannelOf16(audio, 0);
  const Samples played = Capture(0);
  // Two whole runs: prefill, lead-in, the track, idle; again.
  std::size_t at = 0;
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    const std::size_t start = NextSound(played, at);
    ASSERT_GE(start, at + kHalf + kLeadIn);
    ASSERT_TRUE(fixtures::HoldsAt(played, start, track)) << "the track is not whole";
    at = start + track.size();
    ASSERT_GE(NextSound(played, at), at + kHalf) << "no idle signal after the track";
  }
}

// DSD: natively the capture is the DSF's bytes, each in time order (the file
// keeps the earliest bit lowest), between DSD idle bytes; as DSD over PCM the
// same bytes two to a 32-bit word behind alternating markers, then DoP idle
// words whose markers go on alternating.
TEST_P(ThrAudioPlayEndTest, ADsfItemPlaysToItsLastByteNativelyAndAsDsdOverPcm) {
  constexpr std::size_t kBytes = 4096 * 11;  // whole DSF blocks: no padding plays
  const std::vector<Bytes> stored = fixtures::DsdPattern(2, kBytes);
  const auto timeOrder = [](std::uint8_t b) {
    std::uint8_t out = 0;
    for (int bit = 0; bit < 8; ++bit)
      out = static_cast<std::uint8_t>(out | (((b >> bit) & 1) << (7 - bit)));
    return out;
  };
  auto plugins = playlisttest::PlayerPlugins();
  const struct {
    std::int32_t decodeMode;
    const char* start;
  } cases[] = {
      {kDecodeNative, "start rate=2822400 format=dsd"},
      {kDecodeDop, "start rate=176400 format=pcm"},
  };
  for (const auto& [decodeMode, start] : cases) {
    SCOPED_TRACE(start);
    ASSERT_NO_FATAL_FAILURE(PlayDsf(plugins, decodeMode, fixtures::BuildDsf({}, stored)));
    EXPECT_EQ(player_->States(), (std::vector<std::string>{"playing 0 user", "stopped"}));
    const std::string log = Log();
    EXPECT_NE(log.find(start), std::string::npos) << log;
    for (int channel = 0; channel < 2; ++channel) {
      SCOPED_TRACE(channel);
      Bytes track;
      for (std::uint8_t b : stored[static_cast<std::size_t>(channel)])
        track.push_back(timeOrder(b));
      const Bytes capture =
          fixtures::ReadFile(registry_.File("cap") + "." + std::to_string(channel) + ".raw");
      if (decodeMode == kDecodeNative) {
        const auto at = std::search(capture.begin(), capture.end(), track.begin(), track.end());
        ASSERT_NE(at, capture.end()) << "the track is not whole";
        const auto end = at + static_cast<std::ptrdiff_t>(track.size());
        ASSERT_GE(capture.end() - end, 4096 / 8) << "no idle half after the track";
        EXPECT_TRUE(std::all_of(end, capture.end(), [](std::uint8_t b) { return b == 0x96; }))
            << "sound after the track";
      } else {
        // Every word's two DSD bytes, earliest first, and its marker.
        const Samples words = SamplesOfCapture(capture);
        Bytes payload;
        for (std::uint32_t word : words) {
          payload.push_back(static_cast<std::uint8_t>(word >> 16));
          payload.push_back(static_cast<std::uint8_t>(word >> 8));
        }
        const auto at = std::search(payload.begin(), payload.end(), track.begin(), track.end());
        ASSERT_NE(at, payload.end()) << "the track is not whole";
        const auto first = static_cast<std::size_t>(at - payload.begin()) / 2;
        const std::size_t end = first + track.size() / 2;
        const std::uint32_t firstMarker = words[first] >> 24;
        ASSERT_TRUE(firstMarker == 0x05 || firstMarker == 0xFA) << firstMarker;
        for (std::size_t w = first; w < end; ++w) {
          const bool same = (w - first) % 2 == 0;
          ASSERT_EQ(words[w] >> 24, same ? firstMarker : 0x05 + 0xFA - firstMarker)
              << "the markers alternate; word " << w;
        }
        ASSERT_GE(words.size(), end + kHalf) << "the device stopped as the track ended";
        for (std::size_t w = end; w < words.size(); ++w) {
          const std::uint32_t marker =
              (w - first) % 2 == 0 ? firstMarker : 0x05 + 0xFA - firstMarker;
          ASSERT_EQ(words[w], marker << 24 | 0x969600u)
              << "DoP idle words after the track, the markers going on; word " << w;
        }
      }
    }
    std::remove(registry_.File("cap.0.raw").c_str());
    std::remove(registry_.File("cap.1.raw").c_str());
    std::remove(registry_.File("cap.log").c_str());
  }
  EXPECT_TRUE(errors_->Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Dac, ThrAudioPlayEndTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return std::string(param.param ? "WithOutputReady"
                                                          : "WithoutOutputReady");
                         });

}  // namespace
