#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "platform/ErrorReport.h"
#include "tests/fixtures/SameElements.h"
#include "tests/output/EngineTestSupport.h"

namespace {

using enginetest::Bytes;
using enginetest::EngineHarness;
using platform::ThreadMessage;

// Per-channel 32-bit samples as a device of sample type Int32LSB receives them.
using Samples = std::vector<std::uint32_t>;

Bytes LittleEndian(const Samples& samples) {
  Bytes out;
  for (std::uint32_t s : samples) {
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<std::uint8_t>(s >> (8 * i)));
  }
  return out;
}

// A PCM block of `frames` frames whose samples differ per frame and channel,
// with the left-justified 32-bit value each sample must arrive as.
struct PcmTrack {
  Bytes data;
  std::vector<Samples> expected;  // per channel
};

PcmTrack MakePcm(std::uint32_t bytesPerSample, std::uint32_t channels, std::uint32_t frames,
                 std::uint32_t seed) {
  PcmTrack track;
  track.expected.resize(channels);
  const Bytes noise = fixtures::AudioPattern(std::size_t{frames} * channels * bytesPerSample, seed);
  track.data = noise;
  for (std::uint32_t f = 0; f < frames; ++f) {
    for (std::uint32_t c = 0; c < channels; ++c) {
      const std::uint8_t* p = &noise[(std::size_t{f} * channels + c) * bytesPerSample];
      std::uint32_t value = 0;
      for (std::uint32_t b = 0; b < bytesPerSample; ++b)
        value |= std::uint32_t{p[b]} << (8 * b);
      track.expected[c].push_back(value << (8 * (4 - bytesPerSample)));
    }
  }
  return track;
}

Samples Zeros(std::size_t count) {
  return Samples(count, 0);
}

Samples Join(std::initializer_list<Samples> parts) {
  Samples out;
  for (const auto& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

// DoP idle words as an Int32LSB device receives them: `count` words of
// marker, 0x96, 0x96, the first with the marker of `phase` (0: 0x05).
Bytes DopIdle(std::size_t count, std::uint32_t phase = 0) {
  Bytes out;
  for (std::size_t i = 0; i < count; ++i)
    out.insert(out.end(), {0x00, 0x96, 0x96,
                           ((phase + i) & 1) == 0 ? std::uint8_t{0x05} : std::uint8_t{0xFA}});
  return out;
}

// The first `bytes` bytes of a capture.
Bytes HeadBytes(const Bytes& capture, std::size_t bytes) {
  return Bytes(capture.begin(), capture.begin() + std::min(capture.size(), bytes));
}

// The first `count` 32-bit samples of a capture.
Bytes Head(const Bytes& capture, std::size_t samples) {
  return HeadBytes(capture, samples * 4);
}

class RecordingErrors : public IAppErrorManager {
 public:
  void ReportError(const std::wstring& text) override { texts.push_back(text); }
  std::vector<std::wstring> texts;
};

class WaveDataPlayTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetAppErrorManager(errors_); }
  void TearDown() override { platform::SetAppErrorManager(nullptr); }

  // Starts prepared, lets the feeder queue everything, then runs the device.
  static void StartWhenQueued(EngineHarness& h, int bits, double rate, std::uint32_t code) {
    ASSERT_EQ(h.engine->StartOutput(bits, true, rate, code), 0);
    ASSERT_TRUE(h.blocks->WaitDrained());
    ASSERT_EQ(h.engine->TogglePause(), PauseResult::kPaused);
    ASSERT_EQ(h.engine->TogglePause(), PauseResult::kResumed);
  }

  // One track in slot 0, queued whole before the device runs.
  static void PlayQueued(EngineHarness& h, bool dsd, double rate, const Bytes& data,
                         std::uint32_t code, int bits) {
    h.engine->PrepareSlot(dsd, rate, true, false);
    h.blocks->Add(0, data, code, 2, static_cast<std::uint32_t>(rate));
    h.blocks->End(0);
    StartWhenQueued(h, bits, rate, code);
  }

  std::shared_ptr<RecordingErrors> errors_ = std::make_shared<RecordingErrors>();
};

TEST_F(WaveDataPlayTest, PcmOfEveryWidthArrivesBitExactAndEndsTheTrack) {
  const struct {
    const char* name;
    std::uint32_t code, bytes;
    int bits;
  } formats[] = {{"16-bit", output::kFormatPcm16, 2, 16},
                 {"24-bit", output::kFormatPcm24, 3, 24},
                 {"32-bit", output::kFormatPcm32, 4, 32}};
  for (const auto& format : formats) {
    SCOPED_TRACE(format.name);
    EngineHarness h("BufferSize=64\n");
    const PcmTrack track = MakePcm(format.bytes, 2, 1000, format.bytes);
    h.engine->PrepareSlot(false, 44100, true, false);
    h.blocks->Add(0, track.data, format.code, 2, 44100);
    h.blocks->End(0);
    StartWhenQueued(h, format.bits, 44100, format.code);
    h.Step(20);
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(Head(h.Capture(c), 64 + 1000 + 64),
                LittleEndian(Join({Zeros(64), track.expected[c], Zeros(64)})));
    }
    const auto messages = h.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, TM_TRACK_END);
    EXPECT_EQ(messages[0].wParam, 1);
    EXPECT_EQ(messages[0].lParam, 1);
    EXPECT_EQ(h.Log(), "start rate=44100 format=pcm type=18 buffer=64 channels=2\n");
  }
}

TEST_F(WaveDataPlayTest, FloatSamplesBecomeFullScaleIntegers) {
  EngineHarness h("BufferSize=64\n");
  const float values[] = {0.5f, -0.25f, 1.0f, -1.0f, 2.0f, 0.0f};
  Bytes data(sizeof values);
  std::memcpy(data.data(), values, sizeof values);
  h.engine->PrepareSlot(false, 48000, true, false);
  h.blocks->Add(0, data, output::kFormatFloat32, 2, 48000);
  h.blocks->End(0);
  StartWhenQueued(h, 32, 48000, output::kFormatFloat32);
  h.Step(3);
  // v x (2^31 - 1) truncated, clipped to +-(2^31 - 1).
  EXPECT_EQ(Head(h.Capture(0), 64 + 3),
            LittleEndian(Join({Zeros(64), {0x3FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}})));
  EXPECT_EQ(Head(h.Capture(1), 64 + 3),
            LittleEndian(Join({Zeros(64), {0xE0000001, 0x80000001, 0}})));
}

TEST_F(WaveDataPlayTest, DsdPlaysNativelyOrAsDopFromTheSameBlocks) {
  const Bytes words = fixtures::AudioPattern(2 * 4 * 300, 9);  // 300 frames of two channels
  auto channelBytes = [&](int c) {
    Bytes out;
    for (std::size_t f = 0; f < 300; ++f)
      out.insert(out.end(), &words[(f * 2 + c) * 4], &words[(f * 2 + c) * 4 + 4]);
    return out;
  };
  {
    SCOPED_TRACE("native");
    EngineHarness h("DsdBufferSize=1024\n", kDecodeNative);
    h.engine->PrepareSlot(true, 88200, true, false);
    EXPECT_EQ(h.engine->deviceRate(0), 2822400);
    h.blocks->Add(0, words, output::kFormatDsd, 2, 88200);
    h.blocks->End(0);
    StartWhenQueued(h, 32, 88200, output::kFormatDsd);
    h.Step(12);
    for (int c = 0; c < 2; ++c) {
      Bytes expected(128, 0x96);  // the prefilled half: DSD silence
      const Bytes stream = channelBytes(c);
      expected.insert(expected.end(), stream.begin(), stream.end());
      expected.resize(expected.size() + 128, 0x96);
      EXPECT_EQ(HeadBytes(h.Capture(c), expected.size()), expected);
    }
    EXPECT_EQ(h.Log(), "start rate=2822400 format=dsd type=33 buffer=1024 channels=2\n");
  }
  {
    SCOPED_TRACE("DSD over PCM");
    EngineHarness h("BufferSize=64\n", kDecodeDop);
    h.engine->PrepareSlot(true, 88200, true, false);
    EXPECT_EQ(h.engine->deviceRate(0), 176400);
    h.blocks->Add(0, words, output::kFormatDsd, 2, 88200);
    h.blocks->End(0);
    StartWhenQueued(h, 32, 88200, output::kFormatDsd);
    h.Step(14);
    for (int c = 0; c < 2; ++c) {
      Bytes expected = DopIdle(64);  // the prefilled half: DoP idle words
      const Bytes stream = channelBytes(c);
      for (std::size_t f = 0; f < 300; ++f) {
        const std::uint8_t* b = &stream[f * 4];
        expected.insert(expected.end(), {0, b[1], b[0], 0x05, 0, b[3], b[2], 0xFA});
      }
      EXPECT_EQ(HeadBytes(h.Capture(c), expected.size()), expected);
    }
    EXPECT_EQ(h.Log(), "start rate=176400 format=pcm type=18 buffer=64 channels=2\n");
  }
}

TEST_F(WaveDataPlayTest, MonoFillsBothChannelsAndTenChannelsGetTheirFirstEight) {
  EngineHarness h("BufferSize=64\nChannels=10\n");
  const PcmTrack mono = MakePcm(2, 1, 100, 3);
  h.engine->PrepareSlot(false, 44100, true, false);
  h.blocks->Add(0, mono.data, output::kFormatPcm16, 1, 44100);
  h.blocks->End(0);
  StartWhenQueued(h, 16, 44100, output::kFormatPcm16);
  h.Step(4);
  EXPECT_EQ(h.engine->outputBufferCount(), 8);
  const Bytes expected = LittleEndian(Join({Zeros(64), mono.expected[0]}));
  EXPECT_EQ(Head(h.Capture(0), 164), expected);
  EXPECT_EQ(Head(h.Capture(1), 164), expected);
  EXPECT_EQ(Head(h.Capture(7), 164), LittleEndian(Zeros(164)));
  EXPECT_TRUE(h.Capture(8).empty());
}

TEST_F(WaveDataPlayTest, TracksOfOneRateJoinWithoutASampleLostOrAdded) {
  for (bool outputReady : {true, false}) {
    SCOPED_TRACE(outputReady ? "with output-ready" : "without output-ready");
    EngineHarness h(std::string("BufferSize=64\nOutputReady=") + (outputReady ? "1\n" : "0\n"));
    const PcmTrack a = MakePcm(2, 2, 100, 1), b = MakePcm(2, 2, 50, 2);
    h.engine->PrepareSlot(false, 44100, true, false);
    h.engine->PrepareSlot(false, 44100, true, true);
    h.blocks->Add(0, a.data, output::kFormatPcm16, 2, 44100);
    h.blocks->End(0);
    h.blocks->Add(1, b.data, output::kFormatPcm16, 2, 44100);
    h.blocks->End(1);
    StartWhenQueued(h, 16, 44100, output::kFormatPcm16);

    h.Step(1);  // fills A[0, 64)
    EXPECT_TRUE(h.Messages().empty());
    h.Step(1);  // A ends inside this half; B carries on in it
    auto messages = h.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, TM_TRACK_END);
    EXPECT_EQ(messages[0].wParam, 0);
    EXPECT_EQ(messages[0].lParam, 1);
    EXPECT_EQ(h.engine->currentSlot(), 1);
    h.Step(1);  // B ends: playback stops, one switch later without output-ready
    if (!outputReady) {
      EXPECT_TRUE(h.Messages().empty());
      h.Step(1);
    }
    messages = h.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].wParam, 1);
    h.Step(2);
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(Head(h.Capture(c), 64 + 150 + 64),
                LittleEndian(Join({Zeros(64), a.expected[c], b.expected[c], Zeros(64)})));
    }
  }
}

TEST_F(WaveDataPlayTest, ATrackArrivingWhileTheFeederWaitsWakesItAndPlaysWhole) {
  EngineHarness h("BufferSize=64\n");
  const PcmTrack a = MakePcm(2, 2, 100, 1);
  h.engine->PrepareSlot(false, 44100, true, false);
  ASSERT_EQ(h.engine->StartOutput(16, true, 44100, output::kFormatPcm16), 0);
  // Nothing to feed: the feeder waits. Asked twice, so that no wake-up of
  // the first ask (which may come before the feeder's own first look) is
  // left over.
  ASSERT_TRUE(h.blocks->WaitDrained());
  ASSERT_TRUE(h.blocks->WaitDrained());
  h.blocks->Add(0, a.data, output::kFormatPcm16, 2, 44100);
  h.blocks->End(0);
  ASSERT_TRUE(h.blocks->WaitTaken());  // woken by the arrival alone
  ASSERT_TRUE(h.blocks->WaitDrained());
  ASSERT_EQ(h.engine->TogglePause(), PauseResult::kPaused);
  ASSERT_EQ(h.engine->TogglePause(), PauseResult::kResumed);
  h.Step(4);
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(Head(h.Capture(c), 64 + 100 + 64),
              LittleEndian(Join({Zeros(64), a.expected[c], Zeros(64)})));
  }
}

TEST_F(WaveDataPlayTest, ATrackAtAnotherRateEndsTheFirstInsteadOfJoining) {
  EngineHarness h("BufferSize=64\n");
  const PcmTrack a = MakePcm(2, 2, 100, 1), b = MakePcm(2, 2, 50, 2);
  h.engine->PrepareSlot(false, 44100, true, false);
  h.engine->PrepareSlot(false, 48000, true, true);
  h.blocks->Add(0, a.data, output::kFormatPcm16, 2, 44100);
  h.blocks->End(0);
  h.blocks->Add(1, b.data, output::kFormatPcm16, 2, 48000);
  h.blocks->End(1);
  StartWhenQueued(h, 16, 44100, output::kFormatPcm16);
  h.Step(5);
  const auto messages = h.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].wParam, 1);
  EXPECT_EQ(messages[0].lParam, 1);
  EXPECT_EQ(Head(h.Capture(0), 64 + 100 + 100),
            LittleEndian(Join({Zeros(64), a.expected[0], Zeros(100)})));
}

TEST_F(WaveDataPlayTest, TracksOfWholeChunksAndReplacedNextTracks) {
  EngineHarness h("BufferSize=512\n");
  const PcmTrack a = MakePcm(2, 2, 10240, 1);  // exactly one chunk per channel
  const PcmTrack replaced = MakePcm(2, 2, 3000, 2), b = MakePcm(2, 2, 700, 3);
  h.engine->PrepareSlot(false, 44100, true, false);
  h.engine->PrepareSlot(false, 44100, true, true);
  h.blocks->Add(0, a.data, output::kFormatPcm16, 2, 44100);
  h.blocks->End(0);
  h.blocks->Add(1, replaced.data, output::kFormatPcm16, 2, 44100);
  h.blocks->End(1);
  ASSERT_EQ(h.engine->StartOutput(16, true, 44100, output::kFormatPcm16), 0);
  ASSERT_TRUE(h.blocks->WaitDrained());
  // The next track is replaced before it plays.
  h.engine->RequestFlush(1);
  ASSERT_TRUE(h.blocks->WaitDrained());
  h.blocks->Add(1, b.data, output::kFormatPcm16, 2, 44100);
  h.blocks->End(1);
  ASSERT_TRUE(h.blocks->WaitDrained());
  ASSERT_EQ(h.engine->TogglePause(), PauseResult::kPaused);
  ASSERT_EQ(h.engine->TogglePause(), PauseResult::kResumed);
  h.Step(25);
  EXPECT_EQ(Head(h.Capture(1), 512 + 10240 + 700 + 512),
            LittleEndian(Join({Zeros(512), a.expected[1], b.expected[1], Zeros(512)})));
}

TEST_F(WaveDataPlayTest, SeekingSetsThePlayedSamplesAndReportsThePosition) {
  EngineHarness h("BufferSize=64\n");
  h.engine->PrepareSlot(false, 44100, true, false);
  EXPECT_EQ(h.engine->SetPosition(30), -1);  // no device rate yet
  h.blocks->Add(0, MakePcm(2, 2, 100, 1).data, output::kFormatPcm16, 2, 44100);
  StartWhenQueued(h, 16, 44100, output::kFormatPcm16);
  EXPECT_EQ(h.engine->SetPosition(30), 0);
  EXPECT_EQ(h.engine->playedSamples(), 1323000);
  std::lock_guard lock(h.position->mutex_);
  ASSERT_FALSE(h.position->reported.empty());
  EXPECT_EQ(h.position->reported.back(), 30u);
}

TEST_F(WaveDataPlayTest, AStalledDriverIsReportedOnce) {
  EngineHarness h("BufferSize=64\n");
  h.engine->PrepareSlot(false, 44100, true, false);
  h.blocks->Add(0, MakePcm(2, 2, 100, 1).data, output::kFormatPcm16, 2, 44100);
  StartWhenQueued(h, 16, 44100, output::kFormatPcm16);
  // Nobody steps the clock: no buffer switch comes.
  const auto stop = h.messages->WaitFor(10000);
  ASSERT_TRUE(stop.has_value());
  EXPECT_EQ(stop->id, TM_STOP);
  EXPECT_FALSE(h.messages->WaitFor(500).has_value());
}

TEST_F(WaveDataPlayTest, RefusalsAnswerWithTheirMessages) {
  EngineHarness h("BufferSize=64\nRates=44100\n");
  h.engine->PrepareSlot(false, 44100, true, false);
  EXPECT_EQ(h.engine->StartOutput(8, false, 44100, output::kFormatPcm8), -1);
  EXPECT_EQ(h.engine->StartOutput(16, false, 44100, output::kFormatNone), -1);
  h.engine->PrepareSlot(false, 96000, true, false);
  EXPECT_EQ(h.engine->StartOutput(16, false, 96000, output::kFormatPcm16), -1);  // rate refused
  for (const auto& message : h.Messages()) {
    EXPECT_EQ(message.id, TM_TRACK_END);
    EXPECT_EQ(message.wParam, 1);
    EXPECT_EQ(message.lParam, 0);
  }
  EXPECT_EQ(errors_->texts, std::vector<std::wstring>(3, L"Non playable file."));

  EngineSettings settings = GetEngineSettings();
  settings.deviceName = L"Nobody";
  SetEngineSettings(settings);
  EXPECT_EQ(h.engine->StartOutput(16, false, 96000, output::kFormatPcm16), -2);
  EXPECT_EQ(h.Messages().at(0).id, TM_STOP);
  EXPECT_EQ(errors_->texts.back(), L"No output device has been selected.");
  EXPECT_FALSE(h.engine->CheckDevice());
}

TEST_F(WaveDataPlayTest, AHalfStopsWhereTheNextWriteWouldNotFit) {
  // One DSD bit a byte: 32 bytes a write, 1000 bytes a half.
  EngineHarness h("DsdSampleType=40\nDsdBufferSize=1000\n", kDecodeNative);
  const Bytes words = {0x80, 0x01, 0xFF, 0x00, 0x12, 0x34, 0x56, 0x78};  // 2 frames, mono
  h.engine->PrepareSlot(true, 88200, true, false);
  h.blocks->Add(0, words, output::kFormatDsd, 1, 88200);
  h.blocks->End(0);
  StartWhenQueued(h, 32, 88200, output::kFormatDsd);
  h.Step(3);
  const Bytes capture = h.Capture(0);
  ASSERT_EQ(capture.size(), 3000u);
  Bytes expected;
  for (std::uint8_t byte : Bytes{0x80, 0x01, 0xFF, 0x00, 0x12, 0x34, 0x56, 0x78}) {
    for (int bit = 7; bit >= 0; --bit)
      expected.push_back((byte >> bit) & 1);
  }
  EXPECT_EQ(Bytes(capture.begin() + 1000, capture.begin() + 1064), expected);
}

TEST_F(WaveDataPlayTest, TheNextSlotIsPreparedWhileTheDevicePlays) {
  // A steady clock: PrepareSlot races the buffer switch unless it locks.
  EngineHarness h("BufferSize=256\nClock=paced\n");
  h.registry.Add("dac.ini", "Virtual", asiotest::kClassA, asiotest::kVirtualDac,
                 "BufferSize=256\n");
  h.engine->PrepareSlot(false, 44100, true, false);
  h.blocks->Add(0, MakePcm(2, 2, 4410, 1).data, output::kFormatPcm16, 2, 44100);
  h.blocks->End(0);
  ASSERT_EQ(h.engine->StartOutput(16, false, 44100, output::kFormatPcm16), 0);
  h.engine->PrepareSlot(false, 44100, true, true);
  h.blocks->Add(1, MakePcm(2, 2, 4410, 2).data, output::kFormatPcm16, 2, 44100);
  h.blocks->End(1);
  const auto joined = h.messages->WaitFor(10000);
  ASSERT_TRUE(joined.has_value());
  EXPECT_EQ(joined->id, TM_TRACK_END);
  EXPECT_EQ(joined->wParam, 0);
  // Destroying the engine while the device plays returns.
  h.engine.reset();
}

TEST_F(WaveDataPlayTest, StartPauseAndStopCyclesLeaveNothingRunning) {
  EngineHarness h("BufferSize=64\n");
  for (int round = 0; round < 5; ++round) {
    h.engine->PrepareSlot(false, 44100, true, false);
    h.blocks->Add(0, MakePcm(2, 2, 5000, round).data, output::kFormatPcm16, 2, 44100);
    ASSERT_EQ(h.engine->StartOutput(16, false, 44100, output::kFormatPcm16), 0);
    h.Step(3);
    EXPECT_EQ(h.engine->TogglePause(), PauseResult::kPaused);
    EXPECT_EQ(h.engine->TogglePause(), PauseResult::kResumed);
    h.Step(2);
    h.engine->StopOutput(round % 2 == 0);
    EXPECT_FALSE(h.engine->running());
    EXPECT_EQ(h.engine->playedSamples(), 0);
  }
}

// ------------------------------------------------------------ natural ends

// Waits for the engine's end message of a track; false when none came.
bool WaitForTrackEnd(EngineHarness& h) {
  std::optional<ThreadMessage> message;
  while ((message = h.messages->WaitFor(10000)) && message->id != TM_TRACK_END) {
  }
  return message.has_value();
}

// The capture holds `head` exactly, then only `silence` (a pattern repeated
// from the end of the head: one byte, or DoP idle words whose markers go
// on): at least one half of it, the device idling after the track.
void ExpectHeadThenSilence(const Bytes& capture, const Bytes& head, const Bytes& silence,
                           std::size_t halfBytes) {
  ASSERT_GE(capture.size(), head.size() + halfBytes) << "the device stopped before the end played";
  EXPECT_TRUE(fixtures::HoldsAt(capture, 0, head)) << "the track differs";
  std::size_t sound = head.size();
  while (sound < capture.size() &&
         capture[sound] == silence[(sound - head.size()) % silence.size()])
    ++sound;
  EXPECT_EQ(sound, capture.size()) << "sound at byte " << sound << " after the track";
}

enum class TrackKind { kPcm, kDsdNative, kDop };

struct EndCase {
  const char* name;
  TrackKind kind;
  bool outputReady;
};

void PrintTo(const EndCase& c, std::ostream* out) {
  *out << c.name;
}

class EngineEndTest : public WaveDataPlayTest, public ::testing::WithParamInterface<EndCase> {};

// The end of a track that nothing joins, as the playback thread handles it
// (the device plays in real time, the end message reaches another thread,
// which stops the output with DrainAndStop): the capture holds every sample
// of the track, then silence only. With output-ready the end message comes
// in the switch that wrote the last samples, before the device played them.
TEST_P(EngineEndTest, ATrackPlaysToItsLastSampleThenTheDeviceIdles) {
  const EndCase& c = GetParam();
  const bool dsd = c.kind != TrackKind::kPcm;
  EngineHarness h(
      std::string("Clock=real\nBufferSize=64\nOutputReady=") + (c.outputReady ? "1\n" : "0\n"),
      c.kind == TrackKind::kDop ? kDecodeDop : kDecodeNative);
  std::vector<Bytes> heads(2);
  Bytes silence = {0};
  std::size_t halfBytes = 64 * 4;
  if (!dsd) {
    const PcmTrack track = MakePcm(2, 2, 4410, 5);  // 0.1 s
    for (int ch = 0; ch < 2; ++ch)
      heads[ch] = LittleEndian(Join({Zeros(64), track.expected[ch]}));
    PlayQueued(h, false, 44100, track.data, output::kFormatPcm16, 16);
  } else {
    constexpr std::size_t kWords = 2205;  // 25 ms of DSD64 per channel
    const Bytes words = fixtures::AudioPattern(2 * 4 * kWords, 9);
    for (int ch = 0; ch < 2; ++ch) {
      Bytes& head = heads[ch];
      if (c.kind == TrackKind::kDsdNative) {
        silence = {0x96};
        halfBytes = 4096 / 8;
        head.assign(halfBytes, 0x96);  // the prefilled half
        for (std::size_t f = 0; f < kWords; ++f)
          head.insert(head.end(), &words[(f * 2 + ch) * 4], &words[(f * 2 + ch) * 4 + 4]);
      } else {
        // DoP idle words before and after (an even number of words before
        // and in the track: the idle after it begins with 0x05 again).
        silence = DopIdle(2);
        head = DopIdle(64);
        for (std::size_t f = 0; f < kWords; ++f) {
          const std::uint8_t* b = &words[(f * 2 + ch) * 4];
          head.insert(head.end(), {0, b[1], b[0], 0x05, 0, b[3], b[2], 0xFA});
        }
      }
    }
    PlayQueued(h, true, 88200, words, output::kFormatDsd, 32);
  }
  ASSERT_TRUE(WaitForTrackEnd(h)) << "the track never ended";
  h.engine->DrainAndStop(false);
  EXPECT_FALSE(h.engine->running());
  for (int ch = 0; ch < 2; ++ch) {
    SCOPED_TRACE(ch);
    ExpectHeadThenSilence(h.Capture(ch), heads[ch], silence, halfBytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EngineEndTest,
    ::testing::Values(EndCase{"PcmWithOutputReady", TrackKind::kPcm, true},
                      EndCase{"PcmWithoutOutputReady", TrackKind::kPcm, false},
                      EndCase{"DsdNativeWithOutputReady", TrackKind::kDsdNative, true},
                      EndCase{"DsdNativeWithoutOutputReady", TrackKind::kDsdNative, false},
                      EndCase{"DopWithOutputReady", TrackKind::kDop, true},
                      EndCase{"DopWithoutOutputReady", TrackKind::kDop, false}),
    [](const ::testing::TestParamInfo<EndCase>& param) { return std::string(param.param.name); });

// A stalled device cannot hold the drain: it waits the time of two halves
// and a margin, then stops all the same.
TEST_F(WaveDataPlayTest, ADrainOnADeviceThatStoppedSwitchingEndsWithinItsBound) {
  EngineHarness h("BufferSize=64\n");  // manual: nothing steps it after the end
  PlayQueued(h, false, 44100, MakePcm(2, 2, 100, 7).data, output::kFormatPcm16, 16);
  h.Step(3);
  ASSERT_EQ(h.Messages().size(), 1u);
  h.engine->DrainAndStop(false);  // returns: bounded
  EXPECT_FALSE(h.engine->running());
  // The device got the drain request: it played the half it was given last.
  EXPECT_EQ(h.Capture(0).size(), 4u * 64 * 4);
}

// Without a pacing clock the device runs as fast as the engine fills halves:
// a track far longer than the test plays whole, and a short one exactly as
// on a paced device.
TEST_F(WaveDataPlayTest, AFreeClockCapturesWhatAPacedOneDoes) {
  const PcmTrack shortTrack = MakePcm(2, 2, 4410, 11);
  const auto play = [&](const std::string& clock, const PcmTrack& track) {
    EngineHarness h("Clock=" + clock + "\nBufferSize=512\n");
    PlayQueued(h, false, 44100, track.data, output::kFormatPcm16, 16);
    EXPECT_TRUE(WaitForTrackEnd(h)) << "the track never ended";
    h.engine->DrainAndStop(false);
    return std::vector<Bytes>{h.Capture(0), h.Capture(1)};
  };
  const auto paced = play("real", shortTrack);
  const auto free = play("free", shortTrack);
  for (int ch = 0; ch < 2; ++ch) {
    SCOPED_TRACE(ch);
    const Bytes head = LittleEndian(Join({Zeros(512), shortTrack.expected[ch]}));
    ExpectHeadThenSilence(paced[ch], head, {0}, 512 * 4);
    ExpectHeadThenSilence(free[ch], head, {0}, 512 * 4);
  }

  const PcmTrack longTrack = MakePcm(2, 2, 44100 * 20, 12);  // 20 s
  const auto played = play("free", longTrack);
  for (int ch = 0; ch < 2; ++ch) {
    SCOPED_TRACE(ch);
    ExpectHeadThenSilence(played[ch], LittleEndian(Join({Zeros(512), longTrack.expected[ch]})), {0},
                          512 * 4);
  }
}

// ----------------------------------------------------------- DSD over PCM

// The DSD bytes of DoP words, two a word (the earlier first).
using Payload = std::vector<std::array<std::uint8_t, 2>>;

Payload IdlePayload(std::size_t words) {
  return Payload(words, {0x96, 0x96});
}

// Channel `c` of a block of interleaved 32-bit DSD words (time order): two
// DoP words a frame.
Payload DsdPayload(const Bytes& block, std::size_t channels, std::size_t c) {
  Payload out;
  for (std::size_t f = 0; f < block.size() / (4 * channels); ++f) {
    const std::uint8_t* b = &block[(f * channels + c) * 4];
    out.push_back({b[0], b[1]});
    out.push_back({b[2], b[3]});
  }
  return out;
}

Payload Cat(std::initializer_list<Payload> parts) {
  Payload out;
  for (const auto& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A DoP stream as a device of sample type `type` receives it, word k with
// the marker of its place: 0x05 for even k, 0xFA for odd k.
Bytes DopStream(const Payload& payload, std::int32_t type) {
  Bytes out;
  for (std::size_t k = 0; k < payload.size(); ++k) {
    const std::uint8_t marker = k % 2 == 0 ? 0x05 : 0xFA;
    const auto [early, late] = payload[k];
    if (type == kAsioInt32Lsb) out.push_back(0);
    out.insert(out.end(), {late, early, marker});
    if (type == kAsioInt32Lsb24) out.push_back(marker == 0xFA ? 0xFF : 0x00);
  }
  return out;
}

struct DopCase {
  const char* name;
  std::int32_t type;
  std::int32_t bufferSize;
};

void PrintTo(const DopCase& c, std::ostream* out) {
  *out << c.name;
}

class DopStreamTest : public WaveDataPlayTest, public ::testing::WithParamInterface<DopCase> {};

// Every word of a DoP stream carries the marker of its place in the stream,
// from the prefill through starving halves, a track, a gapless join, the
// rest of the last half and the halves after the end, on every channel
// alike (the third has no data: idle words throughout), whatever the half's
// length: a DoP DAC never leaves DSD mode.
TEST_P(DopStreamTest, EveryWordCarriesTheMarkerOfItsPlaceFromStartToEnd) {
  const DopCase& c = GetParam();
  EngineHarness h("Channels=3\nPcmSampleType=" + std::to_string(c.type) +
                      "\nBufferSize=" + std::to_string(c.bufferSize) + "\n",
                  kDecodeDop);
  const Bytes a = fixtures::AudioPattern(2 * 4 * 100, 31),
              b = fixtures::AudioPattern(2 * 4 * 50, 32);
  h.engine->PrepareSlot(true, 88200, true, false);
  h.engine->PrepareSlot(true, 88200, true, true);
  h.blocks->Add(0, a, output::kFormatDsd, 2, 88200);
  ASSERT_EQ(h.engine->StartOutput(32, true, 88200, output::kFormatDsd), 0);
  ASSERT_TRUE(h.blocks->WaitDrained());
  ASSERT_EQ(h.engine->TogglePause(), PauseResult::kPaused);
  ASSERT_EQ(h.engine->TogglePause(), PauseResult::kResumed);
  // Nothing of A is queued yet (the feeder queues whole chunks, or what a
  // track's end leaves): two halves starve, and with odd halves the track
  // begins on an odd word, behind 0xFA.
  h.Step(2);
  h.blocks->End(0);
  h.blocks->Add(1, b, output::kFormatDsd, 2, 88200);
  h.blocks->End(1);
  ASSERT_TRUE(h.blocks->WaitDrained());
  h.Step(10);
  const auto messages = h.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].wParam, 0) << "B joins A";
  EXPECT_EQ(messages[1].wParam, 1);
  const std::size_t words = 12 * static_cast<std::size_t>(c.bufferSize);
  for (std::size_t ch = 0; ch < 3; ++ch) {
    SCOPED_TRACE(ch);
    // The prefilled half and the two starving ones.
    Payload expected = IdlePayload(3 * static_cast<std::size_t>(c.bufferSize));
    if (ch < 2) expected = Cat({expected, DsdPayload(a, 2, ch), DsdPayload(b, 2, ch)});
    expected.resize(words, {0x96, 0x96});
    EXPECT_EQ(h.Capture(static_cast<int>(ch)), DopStream(expected, c.type));
  }
}

INSTANTIATE_TEST_SUITE_P(SampleTypes, DopStreamTest,
                         ::testing::Values(DopCase{"Int32LsbOddHalves", kAsioInt32Lsb, 63},
                                           DopCase{"Int32LsbEvenHalves", kAsioInt32Lsb, 64},
                                           DopCase{"Int24LsbOddHalves", kAsioInt24Lsb, 63},
                                           DopCase{"Int32Lsb24EvenHalves", kAsioInt32Lsb24, 64}),
                         [](const ::testing::TestParamInfo<DopCase>& param) {
                           return std::string(param.param.name);
                         });

// The marker and two DSD bytes need 24 bits: on a 16-bit sample type (or a
// 32-bit one of fewer significant bits) the marker would play as noise, so
// a DoP track is not playable there; PCM still plays.
TEST_F(WaveDataPlayTest, DopIsRefusedOnADeviceSampleTypeOfFewerThan24Bits) {
  for (std::int32_t type : {kAsioInt16Lsb, kAsioInt32Lsb16, kAsioInt32Lsb20}) {
    SCOPED_TRACE(type);
    errors_->texts.clear();
    EngineHarness h("BufferSize=64\nPcmSampleType=" + std::to_string(type) + "\n", kDecodeDop);
    h.engine->PrepareSlot(true, 88200, true, false);
    EXPECT_EQ(h.engine->StartOutput(32, false, 88200, output::kFormatDsd), -1);
    EXPECT_FALSE(h.engine->running());
    const auto messages = h.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, TM_TRACK_END);
    EXPECT_EQ(messages[0].wParam, 1);
    EXPECT_EQ(messages[0].lParam, 0);
    EXPECT_EQ(errors_->texts, std::vector<std::wstring>{L"Non playable file."});
    EXPECT_TRUE(h.Capture(0).empty());

    PlayQueued(h, false, 44100, MakePcm(2, 2, 100, 3).data, output::kFormatPcm16, 16);
    h.Step(3);
    EXPECT_EQ(h.Capture(0).size(), 3u * 64 * AsioSampleTypeBits(type) / 8);
    EXPECT_EQ(errors_->texts.size(), 1u);
  }
}

// ------------------------------------------------------------------ pause

// A pause stop (kQpFuturePauseOnStop): the device resumes with the half the
// engine filled last, wherever the pause falls, so the capture is the track
// with nothing skipped or repeated.
TEST_F(WaveDataPlayTest, APauseResumesWithNothingSkippedOrRepeated) {
  for (int before : {2, 3}) {
    SCOPED_TRACE(before);
    EngineHarness h("BufferSize=64\n");
    const PcmTrack track = MakePcm(2, 2, 1000, 13);
    PlayQueued(h, false, 44100, track.data, output::kFormatPcm16, 16);
    h.Step(before);
    ASSERT_EQ(h.engine->TogglePause(), PauseResult::kPaused);
    EXPECT_FALSE(h.engine->running());
    EXPECT_EQ(enginetest::VirtualDacStep()(1), 0) << "the device is stopped";
    ASSERT_EQ(h.engine->TogglePause(), PauseResult::kResumed);
    h.Step(20);
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(Head(h.Capture(c), 64 + 1000 + 64),
                LittleEndian(Join({Zeros(64), track.expected[c], Zeros(64)})));
    }
    const auto messages = h.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].id, TM_TRACK_END);
  }
}

TEST_F(WaveDataPlayTest, APausedDopStreamResumesWithItsMarkersUnbroken) {
  EngineHarness h("BufferSize=63\n", kDecodeDop);
  const Bytes words = fixtures::AudioPattern(2 * 4 * 200, 41);
  PlayQueued(h, true, 88200, words, output::kFormatDsd, 32);
  h.Step(3);
  ASSERT_EQ(h.engine->TogglePause(), PauseResult::kPaused);
  ASSERT_EQ(h.engine->TogglePause(), PauseResult::kResumed);
  h.Step(12);
  for (std::size_t c = 0; c < 2; ++c) {
    SCOPED_TRACE(c);
    Payload expected = Cat({IdlePayload(63), DsdPayload(words, 2, c)});
    expected.resize(15 * 63, {0x96, 0x96});
    EXPECT_EQ(h.Capture(static_cast<int>(c)), DopStream(expected, kAsioInt32Lsb));
  }
}

// ------------------------------------------------------ the driver's words

// A driver that refuses says why: its text follows the no-device text on a
// line of its own, at the start and in the check before playing.
TEST_F(WaveDataPlayTest, ADriverThatRefusesSaysWhyAfterTheNoDeviceText) {
  const struct {
    const char* settings;
    const wchar_t* said;
    bool initRefused;
  } cases[] = {
      {"RefuseInit=1\nErrorMessage=The DAC is busy: another program holds it (PulseAudio or "
       "PipeWire?)\n",
       L"The DAC is busy: another program holds it (PulseAudio or PipeWire?)", true},
      {"RefuseInit=1\n", L"The virtual DAC is set to refuse init", true},
      {"RefuseBuffers=1\n", L"The virtual DAC is set to refuse buffers", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.settings);
    errors_->texts.clear();
    EngineHarness h(std::string("BufferSize=64\n") + c.settings);
    const std::wstring expected = std::wstring(L"No output device has been selected.\n") + c.said;
    h.engine->PrepareSlot(false, 44100, true, false);
    EXPECT_EQ(h.engine->StartOutput(16, false, 44100, output::kFormatPcm16), -2);
    EXPECT_EQ(h.Messages().at(0).id, TM_STOP);
    EXPECT_EQ(errors_->texts, std::vector<std::wstring>{expected});
    // The check opens the device without buffers: only a refused init fails.
    EXPECT_EQ(h.engine->CheckDevice(), !c.initRefused);
    if (c.initRefused) {
      EXPECT_EQ(errors_->texts, std::vector<std::wstring>(2, expected));
    }
  }
}

// A driver's notice, asked once the buffers exist, reaches the user as the
// driver gives it: the virtual DAC gives it once in the process.
TEST_F(WaveDataPlayTest, ADriversNoticeReachesTheUserAsItIsGiven) {
  // A text of this run's own (the DAC gives each text once in the process).
  static int run = 0;
  const std::string text =
      "Engine test notice " + std::to_string(++run) + ": this route may not be bit-perfect";
  const std::wstring notice(text.begin(), text.end());
  EngineHarness h("BufferSize=64\nNotice=" + text + "\n");
  PlayQueued(h, false, 44100, MakePcm(2, 2, 100, 1).data, output::kFormatPcm16, 16);
  h.Step(3);
  EXPECT_EQ(errors_->texts, std::vector<std::wstring>{notice});
  h.engine->StopOutput(false);
  // The device opens again for another rate: the driver has no more to say.
  PlayQueued(h, false, 48000, MakePcm(2, 2, 100, 2).data, output::kFormatPcm16, 16);
  h.Step(3);
  EXPECT_EQ(errors_->texts, std::vector<std::wstring>{notice});
}

std::wstring Interrupted(int times) {
  return L"Playback was interrupted " + std::to_wstring(times) +
         L" times: the computer did not deliver audio in time.";
}

// The driver tells each underrun (kAsioOverload); the engine reports them
// once per track, at its end or when the output stops, with their number.
// The virtual DAC runs dry at every second period here: 2, 4, 6, ...
TEST_F(WaveDataPlayTest, UnderrunsAreReportedOncePerTrackWithTheirCount) {
  EngineHarness h("BufferSize=64\nUnderrunEvery=2\n");
  const PcmTrack a = MakePcm(2, 2, 400, 1), b = MakePcm(2, 2, 200, 2);
  h.engine->PrepareSlot(false, 44100, true, false);
  h.engine->PrepareSlot(false, 44100, true, true);
  h.blocks->Add(0, a.data, output::kFormatPcm16, 2, 44100);
  h.blocks->End(0);
  h.blocks->Add(1, b.data, output::kFormatPcm16, 2, 44100);
  h.blocks->End(1);
  StartWhenQueued(h, 16, 44100, output::kFormatPcm16);
  h.Step(6);
  EXPECT_TRUE(errors_->texts.empty()) << "no track has ended yet";
  h.Step(1);  // A ends in the 7th half and B joins: A ran dry in periods 2, 4 and 6
  EXPECT_EQ(errors_->texts, std::vector<std::wstring>{Interrupted(3)});
  h.Step(3);  // B ends in the 10th: periods 8 and 10
  EXPECT_EQ(errors_->texts, (std::vector<std::wstring>{Interrupted(3), Interrupted(2)}));
  h.Step(4);  // the device idles after the last track: nothing plays to interrupt
  h.engine->StopOutput(false);
  EXPECT_EQ(errors_->texts.size(), 2u);

  // A track the stop cuts short: its underruns at the stop.
  PlayQueued(h, false, 44100, MakePcm(2, 2, 5000, 3).data, output::kFormatPcm16, 16);
  h.Step(5);
  h.engine->StopOutput(false);
  EXPECT_EQ(errors_->texts,
            (std::vector<std::wstring>{Interrupted(3), Interrupted(2), Interrupted(2)}));
  // None: nothing to report.
  PlayQueued(h, false, 44100, MakePcm(2, 2, 5000, 4).data, output::kFormatPcm16, 16);
  h.Step(1);
  h.engine->StopOutput(false);
  EXPECT_EQ(errors_->texts.size(), 3u);
}

}  // namespace
