// The output engine on the desktop route: the renderer library on a null sink
// of a private sound server, the sink's monitor recorded with parec.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/fixtures/PulseDaemon.h"
#include "tests/output/EngineTestSupport.h"
#include "tests/renderer/MonitorCapture.h"
#include "tests/renderer/RendererTestSupport.h"

namespace {

using fixtures::Bytes;

// At the end of a track the engine stops the renderer with a drain stop: the
// server plays out the halves it still holds (about 100 ms), so the sink
// plays the track to its last sample, then silence. A plain stop would cut
// that queue.
TEST(RendererEngineTest, ATrackPlaysToItsLastSampleBeforeTheOutputStops) {
  pulsetest::PulseDaemon daemon({{"dac", "device.description=\"Test DAC\"", 44100, 2}});
  ASSERT_TRUE(daemon.IsRunning()) << daemon.Log();
  asiotest::DriverRegistry registry;  // no driver of that name: the endpoint is taken
  const auto binding = pulsetest::LoadRenderer();
  EngineSettings settings;
  settings.deviceName = L"WASAPI: Test DAC";
  SetEngineSettings(settings);
  auto messages = std::make_shared<platform::ThreadMessageQueue>();
  auto blocks = std::make_shared<enginetest::TestBlocks>();
  auto engine = std::make_unique<CWaveDataPlay>(messages, blocks,
                                                std::make_shared<enginetest::TestPosition>());

  // 32-bit stereo: a tenth of a second of silence (the monitor may miss the
  // start of a stream), then a third of a second of sound.
  constexpr std::size_t kFrameBytes = 8;
  const Bytes sound = fixtures::AudioPattern(14700 * kFrameBytes, 31);
  Bytes track(4410 * kFrameBytes, 0);
  track.insert(track.end(), sound.begin(), sound.end());
  pulsetest::MonitorCapture capture("dac.monitor", 44100, 2);
  ASSERT_TRUE(capture.IsRecording());
  engine->PrepareSlot(false, 44100, true, false);
  blocks->Add(0, track, output::kFormatPcm32, 2, 44100);
  blocks->End(0);
  ASSERT_EQ(engine->StartOutput(32, false, 44100, output::kFormatPcm32), 0);
  std::optional<platform::ThreadMessage> end;
  while ((end = messages->WaitFor(10000)) && end->id != TM_TRACK_END) {
  }
  ASSERT_TRUE(end.has_value()) << "the track never ended";
  EXPECT_EQ(end->wParam, 1);
  EXPECT_EQ(end->lParam, 1);
  engine->DrainAndStop(false);
  EXPECT_FALSE(engine->running());

  // The sound whole, and a half's time after it (the sink idles on).
  const std::size_t after = 1024 * kFrameBytes;
  const Bytes captured = capture.WaitFor(
      [&](const Bytes& bytes) {
        const auto found = std::search(bytes.begin(), bytes.end(), sound.begin(), sound.end());
        return found != bytes.end() &&
               static_cast<std::size_t>(bytes.end() - found) >= sound.size() + after;
      },
      std::chrono::seconds(5));
  const auto at = std::search(captured.begin(), captured.end(), sound.begin(), sound.end());
  ASSERT_NE(at, captured.end()) << "the sink did not play the track whole";
  EXPECT_GE(static_cast<std::size_t>(captured.end() - at), sound.size() + after);
  EXPECT_TRUE(std::all_of(at + static_cast<std::ptrdiff_t>(sound.size()), captured.end(),
                          [](std::uint8_t b) { return b == 0; }))
      << "sound after the track's last sample";
  engine.reset();
  SetEngineSettings({});
}

}  // namespace
