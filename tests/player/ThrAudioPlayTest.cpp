#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/ThrAudioPlay.h"
#include "output/AsioWrapper.h"
#include "output/EngineSettings.h"
#include "output/PlaybackMessages.h"
#include "platform/ErrorReport.h"
#include "tests/core/PlaylistTestSupport.h"
#include "tests/output/AsioTestSupport.h"
#include "tests/player/PlayerTestSupport.h"

namespace {

using fixtures::Bytes;
using playertest::RecordingPlayer;
using playlisttest::Wide;
using Samples = std::vector<std::uint32_t>;

constexpr std::uint32_t kHalf = 512;  // the virtual DAC's buffer size here
constexpr std::uint32_t kLeadIn = 4410;

// One channel of 16-bit stereo PCM as the device's 32-bit samples.
Samples ChannelOf(const Bytes& pcm16, int channel) {
  Samples out;
  for (std::size_t i = static_cast<std::size_t>(channel) * 2; i + 1 < pcm16.size(); i += 4)
    out.push_back((std::uint32_t{pcm16[i]} | std::uint32_t{pcm16[i + 1]} << 8) << 16);
  return out;
}

Samples FromCapture(const Bytes& capture) {
  Samples out(capture.size() / 4);
  std::memcpy(out.data(), capture.data(), out.size() * 4);
  return out;
}

Samples Join(const std::vector<Samples>& parts) {
  Samples out;
  for (const auto& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

// The capture with the trailing silence after the last sound cut off.
Samples WithoutTail(Samples samples) {
  while (!samples.empty() && samples.back() == 0)
    samples.pop_back();
  return samples;
}

class RecordingErrors : public IAppErrorManager {
 public:
  void ReportError(const std::wstring& text) override {
    std::lock_guard lock(mutex_);
    texts.push_back(text);
  }
  std::mutex mutex_;
  std::vector<std::wstring> texts;
};

// The playback thread with its own output engine on a virtual DAC that
// plays at its rate in real time (its clock thread is stopped and joined
// whenever the engine stops or closes the device, so the playback thread may
// do so at any moment) and captures what it plays. Without output-ready
// the engine ends a track one buffer switch after its last samples were
// written, so the capture holds them before the playback thread stops.
class ThrAudioPlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_.Add("dac.ini", "Virtual", asiotest::kClassA, asiotest::kVirtualDac,
                  "Capture=" + registry_.File("cap") + "\nBufferSize=" + std::to_string(kHalf) +
                      "\nOutputReady=0\n");
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

  Samples Capture(int channel) {
    return FromCapture(
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
    const Samples expected =
        Join({Samples(kHalf + kLeadIn, 0), ChannelOf(first, channel), ChannelOf(second, channel)});
    const Samples played = WithoutTail(Capture(channel));
    ASSERT_EQ(played.size(), WithoutTail(expected).size());
    EXPECT_TRUE(played == WithoutTail(expected));
  }
  // The second item joined the stream: one start of the device, no stop
  // between the two playing reports, and one record per start.
  EXPECT_EQ(Log(), "start rate=44100 format=pcm type=18 buffer=512 channels=2\n");
  EXPECT_EQ(player_->Events(),
            (std::vector<std::string>{"request", "playing 0 user", "playing 1", "stopped"}));
  EXPECT_EQ(player_->playingRecords, 2);
  EXPECT_EQ(playlist_->PlayPosition(), 0) << "the end of the playlist rewinds it";
  EXPECT_EQ(thread_->TransportState(), 0);
  EXPECT_TRUE(errors_->texts.empty());
}

TEST_F(ThrAudioPlayTest, AnItemOfAnotherRateRestartsTheOutput) {
  const Bytes first = AddWav("first.wav", 8820, 44100, 1);
  const Bytes second = AddWav("second.wav", 9600, 48000, 2);
  StartThread();
  thread_->Post(TM_PLAY_ITEM, 0, 1);
  ASSERT_TRUE(player_->WaitFor("stopped"));
  EXPECT_EQ(Log(),
            "start rate=44100 format=pcm type=18 buffer=512 channels=2\n"
            "start rate=48000 format=pcm type=18 buffer=512 channels=2\n");
  EXPECT_EQ(player_->States(),
            (std::vector<std::string>{"playing 0 user", "playing 1", "stopped"}));
  // Each track whole, the second after a lead-in of its own.
  const Samples played = WithoutTail(Capture(0));
  const Samples secondPart = ChannelOf(second, 0);
  ASSERT_GE(played.size(), secondPart.size());
  EXPECT_TRUE(std::equal(secondPart.begin(), secondPart.end(), played.end() - secondPart.size()));
  const Samples firstPart = ChannelOf(first, 0);
  EXPECT_NE(std::search(played.begin(), played.end(), firstPart.begin(), firstPart.end()),
            played.end());
}

}  // namespace
