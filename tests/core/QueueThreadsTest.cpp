// The queue between a decoder-like producer and a feeder-like consumer on
// threads of their own, in both memory modes. Run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/DecodedDataQueue.h"
#include "core/SequentialAWEAllocator.h"
#include "tests/core/FakeSystemMemory.h"
#include "tests/core/QueueTestSupport.h"

namespace {

using core::CDecodedDataQueue;
using output::BlockDescription;

constexpr std::uint32_t kTracks = 12;

std::uint32_t BlocksOfTrack(std::uint32_t track) {
  return 150 + track * 17 % 90;
}
std::size_t SizeOfBlock(std::uint32_t track, std::uint32_t block) {
  return 512 + (track * 7919 + block * 104729) % 6000;
}
std::uint32_t TagOf(std::uint32_t track, std::uint32_t block) {
  return track << 16 | block;
}

// Decodes the tracks one after another into alternating slots, each ended by
// an empty block, backing off while the queue is full.
void Decode(const CDecodedDataQueue& queue) {
  const std::uint32_t limit = std::max(queue.GetCapacity(), 4u) - 4;
  for (std::uint32_t track = 0; track < kTracks; ++track) {
    const std::uint32_t slot = track % 2;
    for (std::uint32_t block = 0; block < BlocksOfTrack(track); ++block) {
      const auto bytes = coretest::BlockBytes(TagOf(track, block), SizeOfBlock(track, block));
      const BlockDescription description = coretest::Describe(bytes, slot);
      std::uint32_t result;
      while ((result = queue.Push(&description, limit)) == core::kQueueFull) {
        std::this_thread::yield();
      }
      ASSERT_EQ(result, core::kQueueOk);
    }
    const BlockDescription end = coretest::EndBlock(slot);
    ASSERT_EQ(queue.Push(&end, 0), core::kQueueOk);
  }
}

// Feeds from the slot of the track it plays until that slot's empty block,
// then moves on to the other slot; checks every block's order and bytes.
void Feed(const CDecodedDataQueue& queue) {
  std::vector<std::uint8_t> buffer;
  for (std::uint32_t track = 0; track < kTracks; ++track) {
    const std::uint32_t slot = track % 2;
    for (std::uint32_t block = 0;;) {
      BlockDescription got;
      const std::uint32_t result = queue.Pop(&got, &buffer, slot);
      if (result == core::kQueueEmpty || result == core::kQueueOtherSlot) {
        std::this_thread::yield();
        continue;
      }
      ASSERT_EQ(result, core::kQueueOk);
      ASSERT_EQ(got.slot, slot);
      if (got.data == nullptr) {
        ASSERT_EQ(block, BlocksOfTrack(track)) << "track " << track << " ended early";
        break;
      }
      const auto expected = coretest::BlockBytes(TagOf(track, block), SizeOfBlock(track, block));
      ASSERT_EQ(got.size, expected.size()) << "track " << track << " block " << block;
      ASSERT_EQ(std::memcmp(got.data, expected.data(), expected.size()), 0)
          << "track " << track << " block " << block;
      ++block;
    }
  }
}

void RunProducerAndConsumer(const CDecodedDataQueue& queue) {
  std::thread decoder([&queue] { Decode(queue); });
  std::thread feeder([&queue] { Feed(queue); });
  decoder.join();
  feeder.join();
  std::uint32_t left = 0, other = 0;
  EXPECT_EQ(queue.CountSlot(0, &left), 0u);
  EXPECT_EQ(queue.CountSlot(1, &other), 0u);
  EXPECT_EQ(left + other, 0u);
}

TEST(QueueThreads, BlocksOfTwoSlotsFlowInOrderInNormalMode) {
  RunProducerAndConsumer(CDecodedDataQueue::Create(0));
}

TEST(QueueThreads, BlocksOfTwoSlotsFlowInOrderInRamModeAcrossAFullRegion) {
  // About 1 MiB of region for about 12 MiB of blocks: the first tracks go to
  // the region, the rest to the fallback.
  auto system = std::make_shared<coretest::FakeSystemMemory>();
  system->grantBytes = 1 << 20;
  RunProducerAndConsumer(CDecodedDataQueue::Create(1, system));
}

TEST(QueueThreads, AQueueDestroyedWhileInUseAnswersGoneToItsUsers) {
  CDecodedDataQueue queue =
      CDecodedDataQueue::Create(1, std::make_shared<coretest::FakeSystemMemory>());
  std::atomic<int> pushes{0};
  std::thread decoder([&queue, &pushes] {
    const auto bytes = coretest::BlockBytes(1, 256);
    const BlockDescription description = coretest::Describe(bytes, 0);
    std::vector<std::uint8_t> buffer;
    BlockDescription got;
    for (;;) {
      const std::uint32_t result = queue.Push(&description, 0);
      if (result == core::kQueueGone) break;
      ASSERT_EQ(result, core::kQueueOk);
      ASSERT_EQ(queue.Pop(&got, &buffer, 0) & ~core::kQueueGone, 0u);
      ++pushes;
    }
  });
  while (pushes < 100)
    std::this_thread::yield();
  queue.Destroy();
  decoder.join();
}

// Where the machine lets this process lock memory, RAM mode's blocks live in
// a region the kernel keeps locked (VmLck of this process).
std::uint64_t LockedKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmLck:", 0) == 0) return std::stoull(line.substr(6));
  }
  return 0;
}

TEST(QueueThreads, RamModeKeepsBlocksInLockedMemoryWhereTheMachineAllowsIt) {
  constexpr std::uint64_t kRegionBytes = 4 << 20;
  auto system = platform::LinuxSystemMemory();
  platform::MemoryStatus status;
  if (!system->GetSystemInfo().is64Bit || !system->MayLockMemory(kRegionBytes) ||
      !system->GetMemoryStatus(&status) ||
      status.availablePhysical < core::kRamModeMinAvailableBytes) {
    GTEST_SKIP() << "this machine does not allow a locked region";
  }
  const std::uint64_t lockedBefore = LockedKilobytes();
  auto allocator = std::make_unique<core::SequentialAWEAllocator>(system, kRegionBytes);
  ASSERT_TRUE(allocator->HasLockedRegion());
  EXPECT_GE(LockedKilobytes() - lockedBefore, kRegionBytes / 1024);
  RunProducerAndConsumer(CDecodedDataQueue(std::move(allocator), 0));
}

}  // namespace
