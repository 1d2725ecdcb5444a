// The whole output path: the feeder splitting one-second blocks into
// chunks and the buffer switch converting them, on the virtual DAC stepped
// as fast as it goes. "cpu_per_audio_s" is the CPU time of the process (all
// threads) per second of audio and "x_realtime_cpu" its inverse; wall time
// also holds the start-up wait for the feeder, so it says less.
#include <benchmark/benchmark.h>

#include <ctime>

#include "tests/output/EngineTestSupport.h"

namespace {

using enginetest::EngineHarness;

constexpr int kSeconds = 4;

struct PathCase {
  std::uint32_t formatCode;
  std::uint32_t bytesPerSample;
  double sourceRate;  // DSD: the bit rate / 32
  bool dsd;
  std::int32_t decodeMode;
};

void PlayThrough(benchmark::State& state, const PathCase& c) {
  EngineHarness h("BufferSize=4096\nDsdBufferSize=32768\n", c.decodeMode);
  h.registry.Add("dac.ini", "Virtual", asiotest::kClassA, asiotest::kVirtualDac,
                 "Clock=manual\nBufferSize=4096\nDsdBufferSize=32768\n"
                 "Rates=44100,192000,384000,176400,705600,1411200\n");
  const auto frames = static_cast<std::size_t>(c.sourceRate);
  const fixtures::Bytes second = fixtures::AudioPattern(frames * 2 * c.bytesPerSample);
  double audioSeconds = 0;
  std::clock_t cpu = 0;
  for (auto _ : state) {
    h.engine->PrepareSlot(c.dsd, c.sourceRate, true, false);
    for (int s = 0; s < kSeconds; ++s) {
      h.blocks->Add(0, second, c.formatCode, 2, static_cast<std::uint32_t>(c.sourceRate));
    }
    h.blocks->End(0);
    const std::clock_t cpuStart = std::clock();
    if (h.engine->StartOutput(32, false, c.sourceRate, c.formatCode) != 0) {
      state.SkipWithError("the output did not start");
      return;
    }
    for (;;) {
      h.Step(8);
      if (auto message = h.messages->TryTake(); message && message->id == TM_TRACK_END) break;
    }
    cpu += std::clock() - cpuStart;
    h.engine->StopOutput(true);
    audioSeconds += kSeconds;
  }
  const double cpuPerAudioSecond = static_cast<double>(cpu) / CLOCKS_PER_SEC / audioSeconds;
  state.counters["cpu_per_audio_s"] = cpuPerAudioSecond;
  state.counters["x_realtime_cpu"] = cpuPerAudioSecond > 0 ? 1 / cpuPerAudioSecond : 0;
}

#define PATH_BENCH(name, ...)                          \
  void BM_OutputPath_##name(benchmark::State& state) { \
    PlayThrough(state, {__VA_ARGS__});                 \
  }                                                    \
  BENCHMARK(BM_OutputPath_##name)->Unit(benchmark::kMillisecond)->UseRealTime()

PATH_BENCH(Pcm44k16, output::kFormatPcm16, 2, 44100, false, kDecodeNative);
PATH_BENCH(Pcm192k24, output::kFormatPcm24, 3, 192000, false, kDecodeNative);
PATH_BENCH(Pcm384k32, output::kFormatPcm32, 4, 384000, false, kDecodeNative);
PATH_BENCH(Dsd64Native, output::kFormatDsd, 4, 88200, true, kDecodeNative);
PATH_BENCH(Dsd256Native, output::kFormatDsd, 4, 352800, true, kDecodeNative);
PATH_BENCH(Dsd512Native, output::kFormatDsd, 4, 705600, true, kDecodeNative);
PATH_BENCH(Dsd64Dop, output::kFormatDsd, 4, 88200, true, kDecodeDop);
PATH_BENCH(Dsd256Dop, output::kFormatDsd, 4, 352800, true, kDecodeDop);
PATH_BENCH(Dsd512Dop, output::kFormatDsd, 4, 705600, true, kDecodeDop);

}  // namespace
