// DSF delivery from the page cache: the plug-in reads block groups,
// reverses the bit order of every byte and interleaves channels, raw words
// or DoP, a second at a time. Beside each case, a copy of the bytes it
// delivers in the same run, into one reused buffer a second at a time.
#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "bench/MemcpyBaseline.h"
#include "platform/TextConv.h"
#include "sources/PluginCtrl.h"
#include "tests/fixtures/DsfWriter.h"

namespace {

constexpr std::uint32_t kDsd64 = 2822400;
constexpr std::size_t kSeconds = 2;

struct DsfCase {
  const char* name;
  std::uint32_t rate;
  std::uint32_t channels;
};
const DsfCase kCases[] = {
    {"DSD64 stereo", kDsd64, 2}, {"DSD256 stereo", 4 * kDsd64, 2}, {"DSD512 stereo", 8 * kDsd64, 2},
    {"DSD64 6ch", kDsd64, 6},    {"DSD256 6ch", 4 * kDsd64, 6},    {"DSD512 6ch", 8 * kDsd64, 6},
};

std::size_t BytesPerChannel(const DsfCase& c) {
  return c.rate / 8 * kSeconds;
}

// Each case's file, written once for the run.
const std::string& FileOf(const DsfCase& c) {
  static fixtures::TempDir dir;
  static std::map<const DsfCase*, std::string> files;
  auto [at, added] = files.try_emplace(&c, dir.File(std::string(c.name) + ".dsf"));
  if (added) {
    fixtures::WriteFile(at->second,
                        fixtures::BuildDsf({.channels = c.channels, .samplingFrequency = c.rate},
                                           fixtures::DsdPattern(c.channels, BytesPerChannel(c))));
  }
  return at->second;
}

// The delivered bytes: a 32-bit word per frame and channel, a frame being
// 32 DSD bits raw or 16 in DoP.
std::size_t DeliveredBytes(const DsfCase& c, int32_t mode) {
  return BytesPerChannel(c) * c.channels * (mode == PPI_MODE_RAW_DSD ? 1 : 2);
}

void ReadWholeFile(benchmark::State& state, int32_t mode) {
  const DsfCase& c = kCases[state.range(0)];
  state.SetLabel(c.name);
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
  const std::u16string path = platform::ToUtf16(platform::FromUtf8(FileOf(c)));
  ops.OpenFile(plugin, path.c_str());
  int32_t frames = 0;
  ops.GetFrameCount(plugin, &frames);
  const int32_t perSecond = static_cast<int32_t>(c.rate / (mode == PPI_MODE_RAW_DSD ? 32 : 16));
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
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * DeliveredBytes(c, mode)));
  release(plugin);
  dlclose(module);
}

void BM_DsfReadRawWords(benchmark::State& state) {
  ReadWholeFile(state, PPI_MODE_RAW_DSD);
}
BENCHMARK(BM_DsfReadRawWords)->DenseRange(0, std::size(kCases) - 1)->Unit(benchmark::kMillisecond);

void BM_DsfReadDop(benchmark::State& state) {
  ReadWholeFile(state, PPI_MODE_DOP);
}
BENCHMARK(BM_DsfReadDop)->DenseRange(0, std::size(kCases) - 1)->Unit(benchmark::kMillisecond);

void BM_DsfRawMemcpySameBytes(benchmark::State& state) {
  const DsfCase& c = kCases[state.range(0)];
  state.SetLabel(c.name);
  CopyInPieces(state, DeliveredBytes(c, PPI_MODE_RAW_DSD),
               DeliveredBytes(c, PPI_MODE_RAW_DSD) / kSeconds);
}
BENCHMARK(BM_DsfRawMemcpySameBytes)
    ->DenseRange(0, std::size(kCases) - 1)
    ->Unit(benchmark::kMillisecond);

void BM_DsfDopMemcpySameBytes(benchmark::State& state) {
  const DsfCase& c = kCases[state.range(0)];
  state.SetLabel(c.name);
  CopyInPieces(state, DeliveredBytes(c, PPI_MODE_DOP), DeliveredBytes(c, PPI_MODE_DOP) / kSeconds);
}
BENCHMARK(BM_DsfDopMemcpySameBytes)
    ->DenseRange(0, std::size(kCases) - 1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
