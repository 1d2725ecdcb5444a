#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "tests/fixtures/ChildProcess.h"
#include "tests/fixtures/PulseDaemon.h"
#include "tests/fixtures/SameElements.h"
#include "tests/renderer/MonitorCapture.h"
#include "tests/renderer/RendererTestSupport.h"

namespace {

using fixtures::Bytes;
using pulsetest::NullSink;
using pulsetest::PulseDaemon;

constexpr std::size_t kSampleBytes = 4;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The host side: the first `patternFills` fills carry a pattern no other half
// carries, later ones silence. It keeps what it wrote per buffer.
struct RenderHost {
  std::vector<AsioBufferInfo> buffers;
  std::size_t halfBytes = 0;
  int patternFills = 0;
  std::vector<Bytes> written;
  std::vector<int64_t> positions;
  int fills = 0;
  bool resetRequested = false;
  std::mutex mutex;
  std::condition_variable changed;

  template <typename Predicate>
  bool WaitFor(Predicate done) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), done);
  }
};
RenderHost* gHost = nullptr;

void BufferSwitch(int32_t half, AsioBool) {
  std::lock_guard lock(gHost->mutex);
  for (std::size_t c = 0; c < gHost->buffers.size(); ++c) {
    const Bytes bytes = gHost->fills < gHost->patternFills
                            ? fixtures::AudioPattern(gHost->halfBytes, 1000 * gHost->fills + c)
                            : Bytes(gHost->halfBytes, 0);
    std::memcpy(gHost->buffers[c].buffers[half], bytes.data(), bytes.size());
    if (gHost->fills < gHost->patternFills) {
      gHost->written[c].insert(gHost->written[c].end(), bytes.begin(), bytes.end());
    }
  }
  ++gHost->fills;
  gHost->changed.notify_all();
}

AsioTime* BufferSwitchTimeInfo(AsioTime* time, int32_t half, AsioBool direct) {
  {
    std::lock_guard lock(gHost->mutex);
    gHost->positions.push_back(time->timeInfo.samplePosition);
  }
  BufferSwitch(half, direct);
  return time;
}

int32_t Message(int32_t selector, int32_t value, void*, double*) {
  switch (selector) {
    case kAsioSelectorSupported:
      return value == kAsioResetRequest || value == kAsioSupportsTimeInfo ? 1 : 0;
    case kAsioSupportsTimeInfo:
      return 1;
    case kAsioResetRequest: {
      std::lock_guard lock(gHost->mutex);
      gHost->resetRequested = true;
      gHost->changed.notify_all();
      return 1;
    }
    default:
      return 0;
  }
}

AsioCallbacks gCallbacks = {BufferSwitch, [](AsioSampleRate) {}, Message, BufferSwitchTimeInfo};

// One way of playing a sink: its format, and the stream channels the host
// creates buffers for, in the order it asks for them.
struct RenderCase {
  const char* label;
  uint32_t rate;
  int channels;
  std::vector<int32_t> bufferChannels;
  int32_t bufferSize;
};

std::ostream& operator<<(std::ostream& out, const RenderCase& c) {
  return out << c.label;
}

class RenderingTest : public ::testing::TestWithParam<RenderCase> {
 protected:
  void SetUp() override {
    gHost = &host_;
    ASSERT_TRUE(daemon_.IsRunning()) << daemon_.Log();
  }
  void TearDown() override {
    HostExit();
    gHost = nullptr;
  }

  // Selects and opens the sink at its own rate and creates the buffers: half
  // 0 holds a pattern of its own, as if the host had prefilled it; half 1
  // holds 0xEE, which must never be played.
  void Open(const RenderCase& c, int patternFills) {
    ASSERT_NE(binding_->entry().SelectWASAPIDevice(u"Test DAC", kWasapiSelectFlag), 0);
    AsioDriverInfo info{};
    ASSERT_EQ(HostInit(&info), kAsioOk) << info.errorMessage;
    int32_t inputs = 0, outputs = 0;
    ASSERT_EQ(HostGetChannels(&inputs, &outputs), kAsioOk);
    ASSERT_EQ(outputs, c.channels);
    ASSERT_EQ(HostCanSampleRate(c.rate), kAsioOk);
    ASSERT_EQ(HostSetSampleRate(c.rate), kAsioOk);
    for (int32_t number : c.bufferChannels)
      host_.buffers.push_back(AsioBufferInfo{kAsioFalse, number, {nullptr, nullptr}});
    ASSERT_EQ(HostCreateBuffers(host_.buffers.data(), static_cast<int32_t>(host_.buffers.size()),
                                c.bufferSize, &gCallbacks),
              kAsioOk);
    host_.halfBytes = static_cast<std::size_t>(c.bufferSize) * kSampleBytes;
    host_.patternFills = patternFills;
    for (std::size_t i = 0; i < host_.buffers.size(); ++i) {
      const Bytes prefill = fixtures::AudioPattern(host_.halfBytes, 7777 + i);
      std::memcpy(host_.buffers[i].buffers[0], prefill.data(), prefill.size());
      std::memset(host_.buffers[i].buffers[1], 0xEE, host_.halfBytes);
      host_.written.push_back(prefill);
    }
  }

  // What the sink should play: the prefilled half and the pattern fills,
  // interleaved into frames of every stream channel; channels without a
  // buffer are silent.
  Bytes Expected(const RenderCase& c) const {
    const std::size_t frameBytes = kSampleBytes * static_cast<std::size_t>(c.channels);
    const std::size_t frames = host_.written[0].size() / kSampleBytes;
    Bytes out(frames * frameBytes, 0);
    for (std::size_t i = 0; i < host_.buffers.size(); ++i) {
      const auto channel = static_cast<std::size_t>(host_.buffers[i].channelNum);
      for (std::size_t f = 0; f < frames; ++f) {
        std::memcpy(&out[f * frameBytes + channel * kSampleBytes],
                    &host_.written[i][f * kSampleBytes], kSampleBytes);
      }
    }
    return out;
  }

  PulseDaemon daemon_{{
      {"dac", "device.description=\"Test DAC\" device.vendor.id=3c5d device.product.id=0a17",
       GetParam().rate, GetParam().channels},
  }};
  std::shared_ptr<CAsioWrapperImpl> binding_ = pulsetest::LoadRenderer();
  RenderHost host_;
};

// The offset of the first frame that is not silent; kNone when all are.
std::size_t FirstSound(const Bytes& capture, std::size_t frameBytes) {
  for (std::size_t at = 0; at + frameBytes <= capture.size(); at += frameBytes) {
    if (std::any_of(capture.begin() + at, capture.begin() + at + frameBytes,
                    [](std::uint8_t b) { return b != 0; })) {
      return at;
    }
  }
  return kNone;
}

TEST_P(RenderingTest, TheSinkPlaysEveryHalfUnchangedInOrder) {
  const RenderCase& c = GetParam();
  constexpr int kPatternFills = 12;
  ASSERT_NO_FATAL_FAILURE(Open(c, kPatternFills));
  pulsetest::MonitorCapture capture("dac.monitor", c.rate, c.channels);
  ASSERT_TRUE(capture.IsRecording());

  EXPECT_EQ(HostFuture(kQpFutureDrainOnStop, nullptr), kAsioInvalidMode) << "nothing plays yet";
  ASSERT_EQ(HostStart(), kAsioOk);
  EXPECT_EQ(HostStart(), kAsioInvalidMode);
  // A fill is written before the next buffer switch comes; two more make
  // sure the last pattern fill has gone to the server.
  ASSERT_TRUE(host_.WaitFor([&] { return host_.fills >= kPatternFills + 2; }));
  int64_t position = -1, timestamp = 0;
  EXPECT_EQ(HostGetSamplePosition(&position, &timestamp), kAsioOk);
  EXPECT_GT(position, 0);
  // A drain stop plays out what was written (the server still holds the
  // last halves); a plain stop would cut them.
  ASSERT_EQ(HostFuture(kQpFutureDrainOnStop, nullptr), kAsioSuccess);
  ASSERT_EQ(HostStop(), kAsioOk);
  EXPECT_EQ(pulsetest::RunForOutput({"pactl", "list", "short", "sink-inputs"}), "")
      << "the stream is gone after the stop";

  const Bytes expected = Expected(c);
  const std::size_t frameBytes = kSampleBytes * static_cast<std::size_t>(c.channels);
  const std::size_t halfFrameBytes = static_cast<std::size_t>(c.bufferSize) * frameBytes;
  const Bytes captured = capture.WaitFor(
      [&](const Bytes& bytes) {
        const std::size_t start = FirstSound(bytes, frameBytes);
        return start != kNone && bytes.size() >= start + expected.size();
      },
      std::chrono::seconds(5));

  // The server's monitor may miss the first milliseconds of a stream (it
  // rewinds the sink when the stream joins), so the capture may begin a
  // little way into the prefilled half, but never past it; from there on
  // every frame is the host's, in order, then silence.
  const std::size_t start = FirstSound(captured, frameBytes);
  ASSERT_NE(start, kNone) << "nothing reached the sink";
  const Bytes head(captured.begin() + static_cast<std::ptrdiff_t>(start),
                   captured.begin() + static_cast<std::ptrdiff_t>(
                                          std::min(captured.size(), start + frameBytes * 16)));
  const auto found = std::search(expected.begin(), expected.end(), head.begin(), head.end());
  ASSERT_NE(found, expected.end()) << "the first sound is none of the host's";
  const auto skipped = static_cast<std::size_t>(found - expected.begin());
  EXPECT_EQ(skipped % frameBytes, 0u);
  EXPECT_LT(skipped, halfFrameBytes) << "the prefilled half was not played";
  const std::size_t compared = expected.size() - skipped;
  ASSERT_GE(captured.size(), start + compared);
  EXPECT_TRUE(fixtures::HoldsAt(
      captured, start,
      Bytes(expected.begin() + static_cast<std::ptrdiff_t>(skipped), expected.end())))
      << "the played samples differ from the host's";
  EXPECT_EQ(FirstSound(Bytes(captured.begin() + static_cast<std::ptrdiff_t>(start + compared),
                             captured.end()),
                       frameBytes),
            kNone)
      << "sound after the host's last pattern";

  // The time information counts the frames handed over, a half at a time.
  for (std::size_t i = 0; i < host_.positions.size(); ++i)
    EXPECT_EQ(host_.positions[i], static_cast<int64_t>(i + 1) * c.bufferSize) << i;

  // Started again, the same buffers play on; disposed, the stream is gone.
  const int fills = host_.fills;
  ASSERT_EQ(HostStart(), kAsioOk);
  ASSERT_TRUE(host_.WaitFor([&] { return host_.fills >= fills + 2; }));
  EXPECT_EQ(HostDisposeBuffers(), kAsioOk);
  EXPECT_EQ(pulsetest::RunForOutput({"pactl", "list", "short", "sink-inputs"}), "");
  EXPECT_EQ(HostExit(), kAsioOk);
  EXPECT_EQ(pulsetest::RunForOutput({"pactl", "list", "clients"}).find("Quorelle Player"),
            std::string::npos)
      << "the connection is closed after the exit";
}

INSTANTIATE_TEST_SUITE_P(Sinks, RenderingTest,
                         ::testing::Values(RenderCase{"Stereo44100", 44100, 2, {0, 1}, 4096},
                                           // Buffers for two of four channels, asked out of order.
                                           RenderCase{"TwoOfFour96000", 96000, 4, {2, 0}, 8192}),
                         [](const auto& param) { return std::string(param.param.label); });

TEST_P(RenderingTest, TheServerGoingAwayEndsTheStream) {
  ASSERT_NO_FATAL_FAILURE(Open(GetParam(), 0));
  ASSERT_EQ(HostStart(), kAsioOk);
  ASSERT_TRUE(host_.WaitFor([&] { return host_.fills >= 3; }));

  daemon_.Stop();
  ASSERT_TRUE(host_.WaitFor([&] { return host_.resetRequested; }))
      << "the host hears of it through a reset request";
  int64_t position = 0, timestamp = 0;
  EXPECT_EQ(HostGetSamplePosition(&position, &timestamp), kAsioNotPresent);
  EXPECT_EQ(HostStop(), kAsioNotPresent);
  EXPECT_EQ(HostStart(), kAsioNotPresent);
  EXPECT_EQ(HostDisposeBuffers(), kAsioNotPresent);
  EXPECT_EQ(HostExit(), kAsioOk);
  AsioDriverInfo info{};
  EXPECT_EQ(HostInit(&info), kAsioNotPresent);
  int32_t count = -1;
  WasapiDeviceRecord record{};
  EXPECT_EQ(binding_->entry().EnumerateWASAPIDevices(&record, 1, &count), 0);
  EXPECT_EQ(count, 0);
}

// The server runs with flat volumes; a stream asking for an absolute 100 %
// would turn the sink up to full. The renderer's 100 % is relative to the
// sink, so the user's setting stays.
TEST_P(RenderingTest, TheSinkVolumeStaysWhereTheUserSetIt) {
  pulsetest::RunForOutput({"pactl", "set-sink-volume", "dac", "30%"});
  ASSERT_NE(pulsetest::RunForOutput({"pactl", "get-sink-volume", "dac"}).find(" 30% "),
            std::string::npos);
  ASSERT_NO_FATAL_FAILURE(Open(GetParam(), 0));
  ASSERT_EQ(HostStart(), kAsioOk);
  ASSERT_TRUE(host_.WaitFor([&] { return host_.fills >= 2; }));
  const std::string volume = pulsetest::RunForOutput({"pactl", "get-sink-volume", "dac"});
  EXPECT_NE(volume.find(" 30% "), std::string::npos) << volume;
  EXPECT_EQ(volume.find("100%"), std::string::npos) << volume;
  EXPECT_EQ(HostStop(), kAsioOk);
}

}  // namespace
