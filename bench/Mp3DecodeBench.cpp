// MP3 decoding with gapless trimming through the MP3 source, beside a plain
// libmpg123 decode of the same file in the same run: the peer is what any
// player built on the library pays at the least, so the ratio is our cost
// for the reader, the block feeding, the trimming and the page buffers.
//
// The file is 10 minutes of 44.1 kHz stereo at 320 kbit/s, made with lame
// (installed by scripts/setup) before the first measurement. Run by hand:
//   build/bin/qp_bench --benchmark_filter=Mp3
// "x_realtime" is seconds of audio decoded per second of wall time.
#include <benchmark/benchmark.h>

#include <mpg123.h>

#include <vector>

#include "platform/TextConv.h"
#include "sources/MusicDataMP3.h"
#include "tests/fixtures/Mp3Fixtures.h"
#include "tests/fixtures/WavWriter.h"

namespace {

constexpr std::size_t kSeconds = 600;
constexpr std::uint32_t kRate = 44100;

struct LongMp3 {
  LongMp3() {
    const std::string wav = dir.File("long.wav");
    fixtures::WriteWav(wav, {1, 2, kRate, 16}, fixtures::TestMusic(kRate, 2, kSeconds * kRate));
    failure = fixtures::RunLame({"-b", "320", wav, path});
  }
  fixtures::TempDir dir;
  std::string path = dir.File("long.mp3");
  std::string failure;
};

const LongMp3& File() {
  static const LongMp3 file;
  return file;
}

void SetRealtimeCounter(benchmark::State& state) {
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(kSeconds * state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Mp3SourceDecodeAndTrim(benchmark::State& state) {
  if (!File().failure.empty()) {
    state.SkipWithError(File().failure.c_str());
    return;
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    CMusicDataMP3 source;
    if (source.Open({platform::FromUtf8(File().path), true, -45.0}) != kMusicOk) {
      state.SkipWithError("open failed");
      return;
    }
    TrackInfo info;
    source.GetTrackInfo(0, &info);
    source.SetPlayRange(info.start, info.end, 0);
    bytes = 0;
    for (;;) {
      SourceBuffer chunk;
      if (ReadChunk(source, chunk) != kMusicOk || chunk.data() == nullptr) break;
      benchmark::DoNotOptimize(chunk.data()[0]);
      bytes += chunk.size();
    }
  }
  if (bytes != kSeconds * kRate * 4) state.SkipWithError("decoded length differs from the source");
  SetRealtimeCounter(state);
}
BENCHMARK(BM_Mp3SourceDecodeAndTrim)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: libmpg123 reading the file itself, its own defaults, 16-bit out.
void BM_Libmpg123PlainDecode(benchmark::State& state) {
  if (!File().failure.empty()) {
    state.SkipWithError(File().failure.c_str());
    return;
  }
  std::vector<unsigned char> buffer(1 << 16);
  for (auto _ : state) {
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr || mpg123_format_none(handle) != MPG123_OK ||
        mpg123_format(handle, kRate, MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open(handle, File().path.c_str()) != MPG123_OK) {
      state.SkipWithError("libmpg123 cannot open the file");
      mpg123_delete(handle);
      return;
    }
    std::size_t done = 0;
    int result = MPG123_OK;
    while (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
      result = mpg123_read(handle, buffer.data(), buffer.size(), &done);
      benchmark::DoNotOptimize(buffer[0]);
    }
    mpg123_close(handle);
    mpg123_delete(handle);
  }
  SetRealtimeCounter(state);
}
BENCHMARK(BM_Libmpg123PlainDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
