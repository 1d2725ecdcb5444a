// DSF delivery from the page cache: the plug-in reads blocks, reverses the
// bit order of every byte and interleaves channels. Beside it, a plain copy
// of the same bytes in the same run.
#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cstring>

#include "bench/MemcpyBaseline.h"
#include "platform/TextConv.h"
#include "sources/PluginCtrl.h"
#include "tests/fixtures/DsfWriter.h"

namespace {

constexpr std::uint32_t kDsd256 = 11289600;
constexpr std::size_t kSeconds = 10;
constexpr std::size_t kBytesPerChannel = kDsd256 / 8 * kSeconds;

struct Dsd256File {
  Dsd256File() {
    fixtures::WriteFile(dir.File("bench.dsf"),
                        fixtures::BuildDsf({.samplingFrequency = kDsd256},
                                           fixtures::DsdPattern(2, kBytesPerChannel)));
  }
  fixtures::TempDir dir;
};

const Dsd256File& File() {
  static const Dsd256File file;
  return file;
}

void ReadWholeFile(benchmark::State& state, int32_t mode) {
  void* module = dlopen(QP_PLUGIN_DIR "/DsfSource.ppi", RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    state.SkipWithError("DsfSource.ppi not found");
    return;
  }
  auto make = reinterpret_cast<PPI_MakeInstanceFn>(dlsym(module, PPI_MAKE_INSTANCE_NAME));
  auto release = reinterpret_cast<PPI_ReleaseInstanceFn>(dlsym(module, PPI_RELEASE_INSTANCE_NAME));
  CPlayerPluginIF* plugin = make();
  const PlayerPluginTable& ops = *plugin->table;
  ops.Initialize(plugin, &PluginInterfaceId());
  ops.SetOutputMode(plugin, mode);
  const std::u16string path = platform::ToUtf16(platform::FromUtf8(File().dir.File("bench.dsf")));
  ops.OpenFile(plugin, path.c_str());
  int32_t frames = 0;
  ops.GetFrameCount(plugin, &frames);
  const int32_t perSecond = static_cast<int32_t>(kDsd256 / (mode == PPI_MODE_RAW_DSD ? 32 : 16));
  for (auto _ : state) {
    for (int32_t first = 0; first < frames; first += perSecond) {
      ops.SetFrameRange(plugin, first, std::min(first + perSecond, frames) - 1);
      void* data = nullptr;
      uint32_t size = 0;
      ops.Read(plugin, &data, &size);
      benchmark::DoNotOptimize(data);
      ops.ReleaseData(plugin);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 2 * kBytesPerChannel));
  release(plugin);
  dlclose(module);
}

void BM_DsfReadRawWords(benchmark::State& state) {
  ReadWholeFile(state, PPI_MODE_RAW_DSD);
}
BENCHMARK(BM_DsfReadRawWords)->Unit(benchmark::kMillisecond);

void BM_DsfReadDop(benchmark::State& state) {
  ReadWholeFile(state, PPI_MODE_DOP);
}
BENCHMARK(BM_DsfReadDop)->Unit(benchmark::kMillisecond);

void BM_DsfMemcpySameBytes(benchmark::State& state) {
  CopyInPieces(state, 2 * kBytesPerChannel, 2 * kDsd256 / 8);
}
BENCHMARK(BM_DsfMemcpySameBytes)->Unit(benchmark::kMillisecond);

}  // namespace
