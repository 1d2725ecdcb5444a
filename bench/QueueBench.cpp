// Push + pop of one-second blocks through the decoded-data queue, with each
// allocator, beside one memcpy of the same bytes (a push and a pop copy the
// block twice).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/DecodedDataQueue.h"
#include "core/NormalAllocator.h"
#include "core/SequentialAWEAllocator.h"

namespace {

constexpr std::int64_t kDsd256StereoSecond = 11289600 / 8 * 2;  // 2,822,400 bytes
constexpr std::int64_t kHiRes24StereoSecond = 192000 * 3 * 2;   // 1,152,000 bytes

void PushPop(benchmark::State& state, const core::CDecodedDataQueue& queue) {
  std::vector<std::uint8_t> block(static_cast<std::size_t>(state.range(0)), 0x5A), buffer;
  const output::BlockDescription description{
      block.data(), static_cast<std::uint32_t>(block.size()), output::kFormatDsd, 2, 352800, 0};
  output::BlockDescription got;
  for (auto _ : state) {
    if (queue.Push(&description, 0) != core::kQueueOk || queue.Pop(&got, &buffer, 0) != 0) {
      state.SkipWithError("queue failed");
      return;
    }
    benchmark::DoNotOptimize(got.data);
    // Rewinds the region, as a new track would.
    queue.Clear();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_QueueNormalPages(benchmark::State& state) {
  PushPop(state, core::CDecodedDataQueue(std::make_unique<core::NormalAllocator>(), 8));
}

void BM_QueueLockedRegion(benchmark::State& state) {
  auto allocator = std::make_unique<core::SequentialAWEAllocator>(platform::LinuxSystemMemory());
  state.SetLabel(allocator->HasLockedRegion() ? "locked region" : "no locked region: fallback");
  PushPop(state, core::CDecodedDataQueue(std::move(allocator), 0));
}

void BM_QueueMemcpySameBytes(benchmark::State& state) {
  std::vector<std::uint8_t> from(static_cast<std::size_t>(state.range(0)), 0x5A), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

#define QUEUE_SIZES \
  Arg(kDsd256StereoSecond)->Arg(kHiRes24StereoSecond)->Unit(benchmark::kMicrosecond)
BENCHMARK(BM_QueueNormalPages)->QUEUE_SIZES;
BENCHMARK(BM_QueueLockedRegion)->QUEUE_SIZES;
BENCHMARK(BM_QueueMemcpySameBytes)->QUEUE_SIZES;

}  // namespace
