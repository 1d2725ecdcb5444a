// Splitting one second of DSD512 or 384 kHz stereo into per-channel driver
// samples, batched (the output path's way) and sample by sample, beside a
// copy of the same output bytes in the same run. "x_realtime" is seconds of audio
// packed per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "output/SamplePacking.h"
#include "output/SampleTypeConverters.h"

namespace {

struct PackCase {
  const char* name;
  std::uint32_t code;
  std::uint32_t blockRate;  // frames per second; DSD: the DSD bit rate / 32
  bool dop;
  output::SampleType type;
};

constexpr std::uint32_t kDsd512WordRate = 22579200 / 32;
const PackCase kCases[] = {
    {"PCM16 384k -> Int32LSB", output::kFormatPcm16, 384000, false, kAsioInt32Lsb},
    {"PCM24 384k -> Int24LSB", output::kFormatPcm24, 384000, false, kAsioInt24Lsb},
    {"DSD512 -> DoP -> Int32LSB", output::kFormatDsd, kDsd512WordRate, true, kAsioInt32Lsb},
    {"DSD512 -> DSDInt8MSB1", output::kFormatDsd, kDsd512WordRate, false, kAsioDsdInt8Msb1},
    {"DSD512 -> DSDInt8LSB1", output::kFormatDsd, kDsd512WordRate, false, kAsioDsdInt8Lsb1},
};
constexpr std::uint32_t kChannels = 2;

struct Material {
  explicit Material(const PackCase& c) : row(output::FindSampleTypeConverter(c.type)) {
    bytes.resize(std::size_t{c.blockRate} * kChannels * output::BytesPerSampleOf(c.code));
    std::mt19937 random(1);
    for (auto& byte : bytes)
      byte = static_cast<std::uint8_t>(random());
    block = {
        bytes.data(), static_cast<std::uint32_t>(bytes.size()), c.code, kChannels, c.blockRate, 0};
    outputSamples = std::size_t{c.blockRate} * (c.dop ? 2 : 1);  // per channel
    std::uint8_t probe[32];
    const std::uint32_t silence = 0;
    const std::size_t bytesPerWrite = row->write(probe, &silence);
    for (auto& channel : out)
      channel.resize(outputSamples * bytesPerWrite);
  }
  std::vector<std::uint8_t> bytes;
  output::BlockDescription block;
  const output::SampleTypeConverter* row;
  std::size_t outputSamples;
  std::vector<std::uint8_t> out[kChannels];
};

void Report(benchmark::State& state, const Material& m) {
  state.SetLabel(kCases[state.range(0)].name);
  const auto seconds = static_cast<double>(state.iterations());  // one second per iteration
  state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
  state.counters["out_samples/s"] = benchmark::Counter(
      seconds * static_cast<double>(m.outputSamples * kChannels), benchmark::Counter::kIsRate);
}

void BM_PackBatched(benchmark::State& state) {
  const PackCase& c = kCases[state.range(0)];
  Material m(c);
  std::uint32_t scratch[1024];
  std::uint32_t phase = 0;
  for (auto _ : state) {
    auto reader = output::MakeSampleReader(m.block, c.dop, phase);
    std::size_t written[kChannels] = {};
    for (std::size_t done = 0; done < m.outputSamples;) {
      const std::size_t run = std::min(std::size(scratch), m.outputSamples - done);
      for (std::uint32_t channel = 0; channel < kChannels; ++channel) {
        output::ReadIntermediateRun(channel, reader, run, scratch);
        written[channel] += m.row->writeRun(m.out[channel].data() + written[channel], scratch, run);
      }
      output::AdvanceOutputSamples(reader, static_cast<std::uint32_t>(run));
      done += run;
    }
    phase = reader.dopPhase;
    benchmark::DoNotOptimize(m.out[0].data());
    benchmark::ClobberMemory();
  }
  Report(state, m);
}

void BM_PackPerSample(benchmark::State& state) {
  const PackCase& c = kCases[state.range(0)];
  Material m(c);
  std::uint32_t phase = 0;
  for (auto _ : state) {
    auto reader = output::MakeSampleReader(m.block, c.dop, phase);
    std::size_t written[kChannels] = {};
    for (std::size_t i = 0; i < m.outputSamples; ++i) {
      for (std::uint32_t channel = 0; channel < kChannels; ++channel) {
        const std::uint32_t sample = output::ReadIntermediateSample(channel, reader);
        written[channel] += m.row->write(m.out[channel].data() + written[channel], &sample);
      }
      output::AdvanceOutputSamples(reader);
    }
    phase = reader.dopPhase;
    benchmark::DoNotOptimize(m.out[0].data());
    benchmark::ClobberMemory();
  }
  Report(state, m);
}

// A copy of as many bytes as the packing writes, into buffers of the same
// size per channel.
void BM_PackMemcpySameBytes(benchmark::State& state) {
  Material m(kCases[state.range(0)]);
  const std::size_t bytes = m.out[0].size();
  std::vector<std::uint8_t> from(bytes * kChannels, 1);
  for (auto _ : state) {
    for (std::uint32_t channel = 0; channel < kChannels; ++channel)
      std::memcpy(m.out[channel].data(), from.data() + channel * bytes, bytes);
    benchmark::ClobberMemory();
  }
  Report(state, m);
}

BENCHMARK(BM_PackBatched)->DenseRange(0, std::size(kCases) - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackPerSample)->DenseRange(0, std::size(kCases) - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PackMemcpySameBytes)
    ->DenseRange(0, std::size(kCases) - 1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
