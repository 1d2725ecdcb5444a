// The output engine playing through the ALSA driver into an ALSA `file` PCM
// over `null`, which records exactly the interleaved bytes the driver writes,
// and into the test PCM playing like a card, which records what it played.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <sstream>

#include "platform/ErrorReport.h"
#include "platform/TextConv.h"
#include "tests/output/EngineTestSupport.h"

namespace {

using enginetest::Bytes;
using enginetest::EngineHarness;

constexpr std::size_t kFrames = 3000;  // DSD words per channel, about 34 ms of DSD64

// Writes the private ALSA configuration: "dac" records to dac.raw.
void UseFilePcm(const EngineHarness& h) {
  const std::string text = "pcm.dac { type file slave.pcm { type null } format \"raw\" file \"" +
                           h.registry.File("dac.raw") + "\" }\n";
  fixtures::WriteFile(h.registry.File("asound.conf"), Bytes(text.begin(), text.end()));
  setenv("ALSA_CONFIG_PATH", h.registry.File("asound.conf").c_str(), 1);
}

// Plays one DSD64 track of `words` (interleaved 32-bit words of two channels,
// each in time order) to the end, then stops as the playback thread does at
// the end of a playlist; the recording.
Bytes PlayToTheEnd(std::int32_t decodeMode, const Bytes& words) {
  EngineHarness h(QP_ALSA_DRIVER_LIB, "Device=dac\nKeepOpen=0\n", decodeMode);
  UseFilePcm(h);
  h.engine->PrepareSlot(true, 88200, true, false);
  h.blocks->Add(0, words, output::kFormatDsd, 2, 88200);
  h.blocks->End(0);
  EXPECT_EQ(h.engine->StartOutput(32, false, 88200, output::kFormatDsd), 0);
  std::optional<platform::ThreadMessage> end;
  while ((end = h.messages->WaitFor(10000)) && end->id != TM_TRACK_END) {
  }
  EXPECT_TRUE(end.has_value()) << "the track never ended";
  h.engine->DrainAndStop(false);
  h.engine.reset();
  unsetenv("ALSA_CONFIG_PATH");
  return fixtures::ReadFile(h.registry.File("dac.raw"));
}

// Two stereo frames of DoP idle words as S32_LE: marker 0x05, then 0xFA.
const Bytes kDopIdleFrames = {0, 0x96, 0x96, 0x05, 0, 0x96, 0x96, 0x05,
                              0, 0x96, 0x96, 0xFA, 0, 0x96, 0x96, 0xFA};

// Stereo DSD words (each channel's four bytes in time order) as the S32_LE
// DoP words a device gets: two words per DSD word and channel, the markers
// alternating through the whole stream from 0x05.
Bytes DopOf(const Bytes& words) {
  Bytes dop;
  std::uint8_t marker = 0x05;
  for (std::size_t f = 0; f < words.size() / 8; ++f) {
    for (int half = 0; half < 2; ++half) {
      for (int c = 0; c < 2; ++c) {
        const std::uint8_t* b = &words[(f * 2 + c) * 4 + 2 * half];
        dop.insert(dop.end(), {0, b[1], b[0], marker});
      }
      marker = marker == 0x05 ? 0xFA : 0x05;
    }
  }
  return dop;
}

// Checks that `recording` is silence frames, exactly `stream`, then at least
// `idleAfter` bytes of silence frames: the device idles before and after the
// track, but no byte of it is lost, added or moved.
void ExpectStreamBetweenSilence(const Bytes& recording, const Bytes& stream,
                                const Bytes& silenceFrame, std::size_t idleAfter) {
  const auto at = std::search(recording.begin(), recording.end(), stream.begin(), stream.end());
  ASSERT_NE(at, recording.end()) << "the stream is not in the recording";
  const std::size_t before = static_cast<std::size_t>(at - recording.begin());
  const std::size_t frame = silenceFrame.size();
  ASSERT_EQ(before % frame, 0u);
  for (std::size_t i = 0; i < before; ++i)
    ASSERT_EQ(recording[i], silenceFrame[i % frame]) << "before the stream, at byte " << i;
  const std::size_t after = before + stream.size();
  ASSERT_GE(recording.size(), after + idleAfter)
      << "the device stopped before the track's end played out";
  for (std::size_t i = after; i < recording.size(); ++i)
    ASSERT_EQ(recording[i], silenceFrame[(i - after) % frame]) << "after the stream, at byte " << i;
}

// After the track, the drain stop: the engine's silent halves until the
// device has played the track's last half, then the half the driver was
// given and one half of idle signal; the halves are 10 ms of frames.
TEST(AlsaEngineTest, Dsd64ArrivesAsDsdU32BeNativelyAndAsS32LeDopWords) {
  const Bytes words = fixtures::AudioPattern(kFrames * 2 * 4, 23);
  {
    SCOPED_TRACE("native: DSD_U32_BE frames are four bytes of each channel in time order");
    ExpectStreamBetweenSilence(PlayToTheEnd(kDecodeNative, words), words, Bytes(8, 0x96),
                               2 * 882 * 8);
  }
  {
    SCOPED_TRACE(
        "DSD over PCM: S32_LE words with the marker in the top byte, and DoP idle "
        "words with the markers running on around them");
    ExpectStreamBetweenSilence(PlayToTheEnd(kDecodeDop, words), DopOf(words), kDopIdleFrames,
                               2 * 1764 * 8);
  }
}

// Writes the private ALSA configuration: `name`, a test card of
// `definition` that records what it played to <name>.played and logs to
// <name>.log.
void UseCard(const EngineHarness& h, const std::string& name, const std::string& definition) {
  const std::string text = "pcm_type.qptest { lib \"" QP_TEST_ALSA_PCM_LIB "\" }\npcm." + name +
                           " { type qptest " + definition + " played \"" +
                           h.registry.File(name + ".played") + "\" log \"" +
                           h.registry.File(name + ".log") + "\" }\n";
  fixtures::WriteFile(h.registry.File("asound.conf"), Bytes(text.begin(), text.end()));
  setenv("ALSA_CONFIG_PATH", h.registry.File("asound.conf").c_str(), 1);
}

// Plays one track of stereo `data` (32-bit PCM or DSD words) to its end and
// stops as the playback thread does at the end of a playlist; with
// `pauseAtStart` the user pauses and resumes it as soon as it starts.
void PlayTrack(EngineHarness& h, bool dsd, double sourceRate, const Bytes& data,
               bool pauseAtStart = false) {
  const std::uint32_t format = dsd ? output::kFormatDsd : output::kFormatPcm32;
  h.engine->PrepareSlot(dsd, sourceRate, false, false);
  h.blocks->Add(0, data, format, 2, static_cast<std::uint32_t>(sourceRate));
  h.blocks->End(0);
  ASSERT_EQ(h.engine->StartOutput(32, false, sourceRate, format), 0);
  if (pauseAtStart) {
    ASSERT_EQ(h.engine->TogglePause(), PauseResult::kPaused);
    ASSERT_EQ(h.engine->TogglePause(), PauseResult::kResumed);
  }
  std::optional<platform::ThreadMessage> end;
  while ((end = h.messages->WaitFor(10000)) && end->id != TM_TRACK_END) {
  }
  ASSERT_TRUE(end.has_value()) << "the track never ended";
  h.engine->DrainAndStop(false);
}

// One track after another on a card that plays in real time, each stopped
// at its end as the playback thread stops at the end of a playlist or before
// a track of another rate: every frame of every track is played, and the
// card is opened once and configured once per rate.
struct CardTrack {
  double sourceRate;
  Bytes data;  // interleaved, two channels
  // What the card plays of it: `data` itself, or over DoP its DoP words.
  Bytes Played(std::int32_t decodeMode, bool dsd) const {
    return dsd && decodeMode == kDecodeDop ? DopOf(data) : data;
  }
};

struct CardCase {
  const char* name;
  std::string formats, rates;
  std::int32_t decodeMode;
  bool dsd;
  std::vector<CardTrack> tracks;
  Bytes silenceFrame;
  std::string log;  // the card's opens and configurations
};

void PrintTo(const CardCase& c, std::ostream* out) {
  *out << c.name;
}

class AlsaCardEngineTest : public ::testing::TestWithParam<CardCase> {};

TEST_P(AlsaCardEngineTest, EveryTrackPlaysToItsLastFrameAndTheCardIsOpenedOnce) {
  const CardCase& c = GetParam();
  EngineHarness h(QP_ALSA_DRIVER_LIB, "Device=card\n", c.decodeMode);
  UseCard(
      h, "card",
      "formats \"" + c.formats + "\" rates \"" + c.rates + "\" channels \"2\" paced 1 log_opens 1");
  for (const CardTrack& track : c.tracks)
    ASSERT_NO_FATAL_FAILURE(PlayTrack(h, c.dsd, track.sourceRate, track.data));
  h.engine.reset();
  ReleaseAsioDrivers();
  unsetenv("ALSA_CONFIG_PATH");

  const Bytes played = fixtures::ReadFile(h.registry.File("card.played"));
  auto from = played.begin();
  for (std::size_t t = 0; t < c.tracks.size(); ++t) {
    SCOPED_TRACE("track " + std::to_string(t + 1));
    const Bytes data = c.tracks[t].Played(c.decodeMode, c.dsd);
    const auto at = std::search(from, played.end(), data.begin(), data.end());
    ASSERT_NE(at, played.end()) << "not played whole";
    // Between the tracks (and before the first) only idle frames.
    ASSERT_EQ((at - from) % static_cast<std::ptrdiff_t>(c.silenceFrame.size()), 0);
    for (auto i = from; i != at; ++i)
      ASSERT_EQ(*i, c.silenceFrame[static_cast<std::size_t>(i - from) % c.silenceFrame.size()])
          << "before the track, at byte " << (i - played.begin());
    from = at + static_cast<std::ptrdiff_t>(data.size());
  }
  ASSERT_GT(played.end() - from, 0) << "no idle signal after the last track";
  for (auto i = from; i != played.end(); ++i)
    ASSERT_EQ(*i, c.silenceFrame[static_cast<std::size_t>(i - from) % c.silenceFrame.size()])
        << "after the last track, at byte " << (i - played.begin());
  // A card that ran dry at the end of a drain logs an underrun; when is a
  // matter of timing, and not what this looks at.
  const Bytes log = fixtures::ReadFile(h.registry.File("card.log"));
  std::stringstream lines(std::string(log.begin(), log.end()));
  std::string line, opensAndConfigurations;
  while (std::getline(lines, line))
    if (line != "underrun") opensAndConfigurations += line + "\n";
  EXPECT_EQ(opensAndConfigurations, c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Tracks, AlsaCardEngineTest,
    ::testing::Values(
        CardCase{"PCM_two_at_44100_then_one_at_48000",
                 "S32_LE",
                 "44100,48000",
                 kDecodeNative,
                 false,
                 {{44100, fixtures::AudioPattern(4410 * 8, 1)},
                  {44100, fixtures::AudioPattern(6000 * 8, 2)},
                  {48000, fixtures::AudioPattern(4800 * 8, 3)}},
                 Bytes(8, 0),
                 "open\nS32_LE 2 44100\nperiod 441\nS32_LE 2 48000\nperiod 480\nclose\n"},
        CardCase{"native_DSD64_twice_then_DSD128",
                 "S32_LE,DSD_U32_BE",
                 "44100,88200,176400",
                 kDecodeNative,
                 true,
                 {{88200, fixtures::AudioPattern(3000 * 8, 4)},
                  {88200, fixtures::AudioPattern(2000 * 8, 5)},
                  {176400, fixtures::AudioPattern(5000 * 8, 6)}},
                 Bytes(8, 0x96),
                 "open\nDSD_U32_BE 2 88200\nperiod 882\nDSD_U32_BE 2 176400\nperiod 1764\n"
                 "close\n"},
        CardCase{"DoP_DSD64_twice_then_DSD128",
                 "S32_LE",
                 "176400,352800",
                 kDecodeDop,
                 true,
                 {{88200, fixtures::AudioPattern(3000 * 8, 7)},
                  {88200, fixtures::AudioPattern(2000 * 8, 8)},
                  {176400, fixtures::AudioPattern(5000 * 8, 9)}},
                 kDopIdleFrames,
                 "open\nS32_LE 2 176400\nperiod 1764\nS32_LE 2 352800\nperiod 3528\nclose\n"}),
    [](const ::testing::TestParamInfo<CardCase>& param) { return std::string(param.param.name); });

class RecordingErrors : public IAppErrorManager {
 public:
  void ReportError(const std::wstring& text) override {
    std::lock_guard lock(mutex_);
    texts_.push_back(platform::ToUtf8(text));
  }
  std::vector<std::string> texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
};

class AlsaCardReportTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetAppErrorManager(errors_); }
  void TearDown() override {
    platform::SetAppErrorManager(nullptr);
    unsetenv("ALSA_CONFIG_PATH");
  }
  std::shared_ptr<RecordingErrors> errors_ = std::make_shared<RecordingErrors>();
};

// Stereo 32-bit frames without the silent ones.
Bytes WithoutSilentFrames(const Bytes& frames) {
  Bytes out;
  for (std::size_t at = 0; at + 8 <= frames.size(); at += 8) {
    if (std::any_of(frames.begin() + at, frames.begin() + at + 8, [](auto b) { return b != 0; }))
      out.insert(out.end(), frames.begin() + at, frames.begin() + at + 8);
  }
  return out;
}

// A card that can pause keeps what it holds and plays the track whole; one
// that cannot plays out what it holds and a half of silence at the pause,
// then goes on where it stopped.
TEST_F(AlsaCardReportTest, APausedTrackResumesOnTheCardWithNothingSkippedOrRepeated) {
  for (const bool canPause : {true, false}) {
    SCOPED_TRACE(canPause ? "a card that can pause" : "a card that cannot");
    EngineHarness h(QP_ALSA_DRIVER_LIB, "Device=card\nKeepOpen=0\n", kDecodeNative);
    UseCard(h, "card",
            std::string("formats \"S32_LE\" rates \"44100\" channels \"2\" paced 1 can_pause ") +
                (canPause ? "1" : "0"));
    const Bytes data = fixtures::AudioPattern(6000 * 8, 11);
    ASSERT_NO_FATAL_FAILURE(PlayTrack(h, false, 44100, data, true));
    h.engine.reset();
    ReleaseAsioDrivers();
    Bytes played = fixtures::ReadFile(h.registry.File("card.played"));
    Bytes track = data;
    if (!canPause) {
      played = WithoutSilentFrames(played);
      track = WithoutSilentFrames(data);
    }
    const auto at = std::search(played.begin(), played.end(), track.begin(), track.end());
    ASSERT_NE(at, played.end()) << "the track is not played whole, in order";
    if (!canPause) {
      EXPECT_EQ(played.end() - at, static_cast<std::ptrdiff_t>(track.size()))
          << "only silence after it";
    }
    EXPECT_EQ(std::search(at + 1, played.end(), track.begin(), track.begin() + 64), played.end())
        << "its start played twice";
  }
}

TEST_F(AlsaCardReportTest, TheUserIsToldWhyACardCannotPlayOrMayNotBeBitPerfect) {
  {
    SCOPED_TRACE("a card another program holds");
    EngineHarness h(QP_ALSA_DRIVER_LIB, "Device=held\n", kDecodeNative);
    UseCard(h, "held", "formats \"S32_LE\" rates \"44100\" channels \"2\" open_error 16");
    h.engine->PrepareSlot(false, 44100, false, false);
    EXPECT_NE(h.engine->StartOutput(32, false, 44100, output::kFormatPcm32), 0);
    const auto texts = errors_->texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_NE(texts[0].find("No output device has been selected."), std::string::npos) << texts[0];
    EXPECT_NE(texts[0].find("held is busy: another program holds it (PulseAudio or PipeWire?)"),
              std::string::npos)
        << texts[0];
  }
  {
    SCOPED_TRACE("a PCM that is not the card itself, told once");
    EngineHarness h(QP_ALSA_DRIVER_LIB, "Device=route\n", kDecodeNative);
    UseCard(h, "route", "formats \"S32_LE\" rates \"44100\" channels \"2\"");
    ASSERT_NO_FATAL_FAILURE(PlayTrack(h, false, 44100, fixtures::AudioPattern(441 * 8, 12)));
    ASSERT_NO_FATAL_FAILURE(PlayTrack(h, false, 44100, fixtures::AudioPattern(441 * 8, 13)));
    const auto texts = errors_->texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[1].find("Output through route may not be bit-perfect"), std::string::npos)
        << texts[1];
  }
}

TEST_F(AlsaCardReportTest, AnUnderrunOnTheCardIsReportedOnceForItsTrack) {
  EngineHarness h(QP_ALSA_DRIVER_LIB, "Device=card\nKeepOpen=0\n", kDecodeNative);
  UseCard(h, "card", "formats \"S32_LE\" rates \"44100\" channels \"2\" xrun_after 3000");
  ASSERT_NO_FATAL_FAILURE(PlayTrack(h, false, 44100, fixtures::AudioPattern(20000 * 8, 14)));
  const auto texts = errors_->texts();
  const auto interrupted = std::count_if(texts.begin(), texts.end(), [](const std::string& text) {
    return text == "Playback was interrupted 1 times: the computer did not deliver audio in time.";
  });
  EXPECT_EQ(interrupted, 1) << "reports: " << texts.size();
}

}  // namespace
