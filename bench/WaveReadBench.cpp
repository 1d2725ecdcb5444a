// WAVE source delivery from the page cache, beside a plain copy of the same
// bytes: the source should cost little more than the copy it has to make.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench/MemcpyBaseline.h"
#include "platform/TextConv.h"
#include "sources/MusicDataWave.h"
#include "tests/fixtures/WavWriter.h"

namespace {

constexpr std::size_t kSeconds = 20;
const fixtures::WavFormat kHiRes{1, 2, 192000, 24};

struct HiResFile {
  HiResFile() {
    fixtures::WriteWav(dir.File("bench.wav"), kHiRes, fixtures::AudioPattern(Bytes()));
  }
  static std::size_t Bytes() { return kHiRes.AvgBytesPerSec() * kSeconds; }
  fixtures::TempDir dir;
};

const HiResFile& File() {
  static const HiResFile file;
  return file;
}

void BM_WaveSourceRead(benchmark::State& state) {
  CMusicDataWave source;
  if (source.Open({platform::FromUtf8(File().dir.File("bench.wav")), false, -96.0}) != 0) {
    state.SkipWithError("open failed");
    return;
  }
  for (auto _ : state) {
    source.SetPlayRange(0, 0xFFFFFFFF, 0);
    for (;;) {
      SourceBuffer chunk;
      if (ReadChunk(source, chunk) != kMusicOk || chunk.data() == nullptr) break;
      benchmark::DoNotOptimize(chunk.data()[0]);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * HiResFile::Bytes()));
}
BENCHMARK(BM_WaveSourceRead)->Unit(benchmark::kMillisecond);

void BM_WaveMemcpySameBytes(benchmark::State& state) {
  CopyInPieces(state, HiResFile::Bytes(), kHiRes.AvgBytesPerSec());
}
BENCHMARK(BM_WaveMemcpySameBytes)->Unit(benchmark::kMillisecond);

}  // namespace
