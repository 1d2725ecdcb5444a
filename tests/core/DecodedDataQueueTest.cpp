#include "core/DecodedDataQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/SequentialAWEAllocator.h"
#include "tests/core/FakeSystemMemory.h"
#include "tests/core/QueueTestSupport.h"

namespace {

using core::CDecodedDataQueue;
using coretest::BlockBytes;
using coretest::Describe;
using coretest::EndBlock;
using coretest::FakeSystemMemory;
using output::BlockDescription;

using Bytes = std::vector<std::uint8_t>;

enum class Mode { kNormal, kRam };

std::string ModeName(const ::testing::TestParamInfo<Mode>& info) {
  return info.param == Mode::kNormal ? "Normal" : "Ram";
}

// A RAM-mode queue gets a fake machine with a region of `regionPages`.
CDecodedDataQueue MakeQueue(Mode mode, std::uint64_t regionPages = 16,
                            std::shared_ptr<FakeSystemMemory> system = nullptr) {
  if (mode == Mode::kNormal) return CDecodedDataQueue::Create(0);
  if (!system) system = std::make_shared<FakeSystemMemory>();
  system->grantBytes = regionPages * system->pageSize;
  return CDecodedDataQueue::Create(1, system);
}

std::uint32_t PushBytes(const CDecodedDataQueue& queue, const Bytes& bytes, std::uint32_t slot,
                        std::uint32_t limit = 0) {
  const BlockDescription block = Describe(bytes, slot);
  return queue.Push(&block, limit);
}

// Pops one block of `slot` and checks it is exactly `expected`.
void ExpectPop(const CDecodedDataQueue& queue, std::uint32_t slot, const Bytes& expected,
               std::vector<std::uint8_t>& buffer) {
  BlockDescription got;
  ASSERT_EQ(queue.Pop(&got, &buffer, slot), core::kQueueOk);
  EXPECT_EQ(got.slot, slot);
  EXPECT_EQ(got.formatCode, output::kFormatPcm16);
  EXPECT_EQ(got.channels, 2u);
  EXPECT_EQ(got.sampleRate, 44100u);
  ASSERT_EQ(got.size, expected.size());
  if (expected.empty()) {
    EXPECT_EQ(got.data, nullptr);
  } else {
    ASSERT_EQ(got.data, buffer.data());
    EXPECT_EQ(std::memcmp(got.data, expected.data(), expected.size()), 0);
  }
}

std::uint32_t Count(const CDecodedDataQueue& queue, std::uint32_t slot) {
  std::uint32_t count = 0;
  EXPECT_EQ(queue.CountSlot(slot, &count), core::kQueueOk);
  return count;
}

TEST(DecodedDataQueue, LimitsBoundTheNumberOfQueuedBlocks) {
  const Bytes bytes = BlockBytes(1, 64);
  const struct {
    const char* name;
    Mode mode;
    std::uint32_t limit;
    std::uint32_t accepted;  // pushes before the first "full"; 0: never full
  } cases[] = {
      {"decoder limit 8 - 4", Mode::kNormal, 4, 4},
      {"limit 0 means the capacity", Mode::kNormal, 0, 8},
      {"limit above the capacity", Mode::kNormal, 20, 8},
      {"unlimited: max(0, 4) - 4", Mode::kRam, 0, 0},
      {"an explicit limit still counts", Mode::kRam, 3, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CDecodedDataQueue queue = MakeQueue(c.mode);
    const std::uint32_t tries = c.accepted == 0 ? 1000 : c.accepted;
    for (std::uint32_t i = 0; i < tries; ++i)
      ASSERT_EQ(PushBytes(queue, bytes, 0, c.limit), 0u);
    if (c.accepted != 0) {
      EXPECT_EQ(PushBytes(queue, bytes, 0, c.limit), core::kQueueFull);
    }
    EXPECT_EQ(Count(queue, 0), tries);
  }
  EXPECT_EQ(CDecodedDataQueue::Create(0).GetCapacity(), 8u);
  EXPECT_EQ(MakeQueue(Mode::kRam).GetCapacity(), 0u);
}

class QueueInBothModes : public ::testing::TestWithParam<Mode> {};
INSTANTIATE_TEST_SUITE_P(Modes, QueueInBothModes, ::testing::Values(Mode::kNormal, Mode::kRam),
                         ModeName);

TEST_P(QueueInBothModes, BlocksComeOutInOrderPerSlotWithEmptyBlocksAsNull) {
  const CDecodedDataQueue queue = MakeQueue(GetParam());
  const Bytes a = BlockBytes(1, 5000), b = BlockBytes(2, 3), c = BlockBytes(3, 9000);
  ASSERT_EQ(PushBytes(queue, a, 0), 0u);
  ASSERT_EQ(PushBytes(queue, b, 0), 0u);
  const BlockDescription end0 = EndBlock(0);
  ASSERT_EQ(queue.Push(&end0, 0), 0u);
  ASSERT_EQ(PushBytes(queue, c, 1), 0u);
  EXPECT_EQ(Count(queue, 0), 3u);
  EXPECT_EQ(Count(queue, 1), 1u);

  std::vector<std::uint8_t> buffer;
  BlockDescription got;
  // The front block is slot 0's: slot 1 must wait, and nothing moves.
  EXPECT_EQ(queue.Pop(&got, &buffer, 1), core::kQueueOtherSlot);
  EXPECT_EQ(Count(queue, 0), 3u);

  ExpectPop(queue, 0, a, buffer);
  ExpectPop(queue, 0, b, buffer);
  EXPECT_GE(buffer.size(), 5000u);  // the buffer is reused and never shrinks
  ExpectPop(queue, 0, {}, buffer);
  ExpectPop(queue, 1, c, buffer);
  EXPECT_EQ(queue.Pop(&got, &buffer, 1), core::kQueueEmpty);
}

TEST_P(QueueInBothModes, ANullDataPointerWithASizeIsStillAnEmptyBlock) {
  const CDecodedDataQueue queue = MakeQueue(GetParam());
  const Bytes after = BlockBytes(9, 100);
  const BlockDescription nullData{nullptr, 4096, output::kFormatPcm16, 2, 44100, 0};
  ASSERT_EQ(queue.Push(&nullData, 0), 0u);
  ASSERT_EQ(PushBytes(queue, after, 0), 0u);
  std::vector<std::uint8_t> buffer;
  ExpectPop(queue, 0, {}, buffer);
  ExpectPop(queue, 0, after, buffer);  // the reader did not drift
}

TEST_P(QueueInBothModes, ClearReleasesEverythingAndTheQueueStartsAfresh) {
  const CDecodedDataQueue queue = MakeQueue(GetParam());
  for (std::uint32_t i = 0; i < 6; ++i)
    ASSERT_EQ(PushBytes(queue, BlockBytes(i, 3000), i % 2), 0u);
  std::vector<std::uint8_t> buffer;
  ExpectPop(queue, 0, BlockBytes(0, 3000), buffer);
  EXPECT_EQ(queue.Clear(), 0u);
  EXPECT_EQ(Count(queue, 0) + Count(queue, 1), 0u);
  const Bytes next = BlockBytes(42, 7000);
  ASSERT_EQ(PushBytes(queue, next, 1), 0u);
  ExpectPop(queue, 1, next, buffer);
}

TEST(DecodedDataQueue, ClearSlotKeepsTheOtherSlotInOrder) {
  auto log = std::make_shared<coretest::AllocatorLog>();
  const CDecodedDataQueue queue(std::make_unique<coretest::LoggingAllocator>(log), 8);
  for (std::uint32_t i = 0; i < 6; ++i)
    ASSERT_EQ(PushBytes(queue, BlockBytes(i, 100), i % 2), 0u);
  EXPECT_EQ(queue.ClearSlot(1), 0u);
  EXPECT_EQ(log->liveBlocks, 3);
  EXPECT_EQ(Count(queue, 1), 0u);
  std::vector<std::uint8_t> buffer;
  for (std::uint32_t i : {0u, 2u, 4u})
    ExpectPop(queue, 0, BlockBytes(i, 100), buffer);
  EXPECT_EQ(log->liveBlocks, 0);
}

TEST(DecodedDataQueue, ClearSlotIsRefusedInRamModeAndKeepsEveryBlock) {
  for (bool regionAvailable : {true, false}) {
    SCOPED_TRACE(regionAvailable ? "locked region" : "fallback only");
    auto system = std::make_shared<FakeSystemMemory>();
    system->is64Bit = regionAvailable;
    const CDecodedDataQueue queue = MakeQueue(Mode::kRam, 16, system);
    for (std::uint32_t i = 0; i < 4; ++i)
      ASSERT_EQ(PushBytes(queue, BlockBytes(i, 100), i % 2), 0u);
    EXPECT_EQ(queue.ClearSlot(1), core::kQueueNotSupported);
    EXPECT_EQ(Count(queue, 0), 2u);
    EXPECT_EQ(Count(queue, 1), 2u);
    std::vector<std::uint8_t> buffer;
    for (std::uint32_t i = 0; i < 4; ++i)
      ExpectPop(queue, i % 2, BlockBytes(i, 100), buffer);
  }
}

TEST(DecodedDataQueue, RamModeClearWritesTheNextTrackFromTheStartOfTheRegion) {
  auto system = std::make_shared<FakeSystemMemory>();
  const CDecodedDataQueue queue = MakeQueue(Mode::kRam, 4, system);
  ASSERT_EQ(PushBytes(queue, BlockBytes(1, 6000), 0), 0u);
  ASSERT_EQ(PushBytes(queue, BlockBytes(2, 6000), 0), 0u);
  ASSERT_EQ(queue.Clear(), 0u);
  const Bytes next = BlockBytes(3, 10000);
  ASSERT_EQ(PushBytes(queue, next, 0), 0u);
  EXPECT_EQ(std::memcmp(system->regionData, next.data(), next.size()), 0);
  std::vector<std::uint8_t> buffer;
  ExpectPop(queue, 0, next, buffer);
}

TEST(DecodedDataQueue, AFullRegionSendsBlocksToTheFallbackAndOrderHolds) {
  auto system = std::make_shared<FakeSystemMemory>();
  const CDecodedDataQueue queue = MakeQueue(Mode::kRam, 2, system);  // 8192 bytes
  // 3000 + 3000 fit, 3000 more do not, 2000 still fit behind them, then
  // nothing does.
  const std::vector<Bytes> blocks = {BlockBytes(0, 3000), BlockBytes(1, 3000),
                                     BlockBytes(2, 3000), BlockBytes(3, 2000),
                                     BlockBytes(4, 500),  BlockBytes(5, 70000)};
  for (const Bytes& block : blocks)
    ASSERT_EQ(PushBytes(queue, block, 0), 0u);
  EXPECT_EQ(std::memcmp(system->regionData + 6000, blocks[3].data(), 2000), 0);
  std::vector<std::uint8_t> buffer;
  for (const Bytes& block : blocks)
    ExpectPop(queue, 0, block, buffer);
}

TEST(DecodedDataQueue, AFailedStoreLeavesNoTraceAndLaterBlocksFlow) {
  auto log = std::make_shared<coretest::AllocatorLog>();
  const CDecodedDataQueue queue(std::make_unique<coretest::LoggingAllocator>(log), 8);
  ASSERT_EQ(PushBytes(queue, BlockBytes(1, 100), 0), 0u);
  log->failingStores = 1;
  EXPECT_EQ(PushBytes(queue, BlockBytes(2, 100), 0), core::kQueueStorageFailed);
  EXPECT_EQ(Count(queue, 0), 1u);
  ASSERT_EQ(PushBytes(queue, BlockBytes(3, 100), 0), 0u);
  std::vector<std::uint8_t> buffer;
  ExpectPop(queue, 0, BlockBytes(1, 100), buffer);
  ExpectPop(queue, 0, BlockBytes(3, 100), buffer);
}

TEST(DecodedDataQueue, AFullRegionWithAFailingFallbackReportsStorageAndKeepsTheRegionInStep) {
  auto system = std::make_shared<FakeSystemMemory>();
  system->grantBytes = 2 * 4096;
  auto log = std::make_shared<coretest::AllocatorLog>();
  log->failingStores = 1;
  const CDecodedDataQueue queue(
      std::make_unique<core::SequentialAWEAllocator>(
          system, core::kRamRegionBytes, std::make_unique<coretest::LoggingAllocator>(log)),
      0);
  ASSERT_EQ(PushBytes(queue, BlockBytes(1, 5000), 0), 0u);                         // region
  EXPECT_EQ(PushBytes(queue, BlockBytes(2, 5000), 0), core::kQueueStorageFailed);  // neither
  ASSERT_EQ(PushBytes(queue, BlockBytes(3, 3000), 0), 0u);                         // region
  ASSERT_EQ(PushBytes(queue, BlockBytes(4, 5000), 0), 0u);                         // fallback
  std::vector<std::uint8_t> buffer;
  ExpectPop(queue, 0, BlockBytes(1, 5000), buffer);
  ExpectPop(queue, 0, BlockBytes(3, 3000), buffer);
  ExpectPop(queue, 0, BlockBytes(4, 5000), buffer);
  EXPECT_EQ(log->liveBlocks, 0);
}

// When the queue cannot make room for a block record, no bytes may have gone
// into the locked region: taking them back would move the sequential reader
// while the writer stays, and every later block would be read from the wrong
// place.
TEST(DecodedDataQueue, ARecordThatCannotBeKeptStoresNoBytes) {
  coretest::ExhaustibleResource records;
  auto system = std::make_shared<FakeSystemMemory>();
  system->grantBytes = 64 * 4096;
  const CDecodedDataQueue queue(
      std::make_unique<core::SequentialAWEAllocator>(system, core::kRamRegionBytes), 0, &records);
  records.exhausted = true;
  std::vector<std::uint32_t> queued;
  std::uint32_t tag = 0;
  for (; tag < 200; ++tag) {
    const std::uint32_t result = PushBytes(queue, BlockBytes(tag, 100 + tag), 0);
    if (result == core::kQueueStorageFailed) break;
    ASSERT_EQ(result, 0u);
    queued.push_back(tag);
  }
  ASSERT_LT(tag, 200u) << "the record memory never ran out";
  records.exhausted = false;
  for (std::uint32_t more = tag + 1; more < tag + 40; ++more) {
    ASSERT_EQ(PushBytes(queue, BlockBytes(more, 100 + more), 0), 0u);
    queued.push_back(more);
  }
  std::vector<std::uint8_t> buffer;
  for (std::uint32_t t : queued)
    ExpectPop(queue, 0, BlockBytes(t, 100 + t), buffer);
}

TEST(DecodedDataQueue, MissingArgumentsAndAGoneQueueGiveTheirCodes) {
  const CDecodedDataQueue queue = CDecodedDataQueue::Create(0);
  BlockDescription got;
  std::vector<std::uint8_t> buffer;
  EXPECT_EQ(queue.Push(nullptr, 0), core::kQueueNullArgument);
  EXPECT_EQ(queue.Pop(nullptr, &buffer, 0), core::kQueueNullArgument);
  EXPECT_EQ(queue.Pop(&got, nullptr, 0), core::kQueueNullArgument);
  EXPECT_EQ(queue.CountSlot(0, nullptr), core::kQueueNullArgument);

  const CDecodedDataQueue none;
  const Bytes bytes = BlockBytes(1, 10);
  const BlockDescription block = Describe(bytes, 0);
  std::uint32_t count = 0;
  EXPECT_EQ(none.Push(&block, 0), core::kQueueGone);
  EXPECT_EQ(none.Pop(&got, &buffer, 0), core::kQueueGone);
  EXPECT_EQ(none.Clear(), core::kQueueGone);
  EXPECT_EQ(none.ClearSlot(0), core::kQueueGone);
  EXPECT_EQ(none.CountSlot(0, &count), core::kQueueGone);
  EXPECT_EQ(none.GetCapacity(), 0u);

  const CDecodedDataQueue noAllocator(nullptr, 8);
  EXPECT_EQ(noAllocator.Push(&block, 0), core::kQueueStorageFailed);
}

TEST(DecodedDataQueue, ACopyKeepsTheQueueAliveAndTheLastOneReleasesItsBlocks) {
  auto log = std::make_shared<coretest::AllocatorLog>();
  CDecodedDataQueue queue(std::make_unique<coretest::LoggingAllocator>(log), 8);
  CDecodedDataQueue copy = queue;
  ASSERT_EQ(PushBytes(queue, BlockBytes(1, 100), 0), 0u);
  queue.Destroy();
  const Bytes bytes = BlockBytes(2, 100);
  const BlockDescription block = Describe(bytes, 0);
  EXPECT_EQ(queue.Push(&block, 0), core::kQueueGone);
  ASSERT_EQ(copy.Push(&block, 0), 0u);
  EXPECT_EQ(log->liveBlocks, 2);
  copy = CDecodedDataQueue();
  EXPECT_EQ(log->liveBlocks, 0);
}

}  // namespace
