// The chunk queues between the feeder and the buffer switch: a feeder that
// finds its queue full waits there until the buffer switch has taken a
// batch, or until the output stops.
#include "output/ChunkQueues.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace {

using output::ChunkElement;
using output::ChunkQueues;
using output::kMaxQueuedChunks;
using output::kRefillBatch;

void Fill(ChunkQueues& queues, int slot, int channel) {
  while (queues.HasRoom(slot, channel))
    queues.Push(slot, channel, ChunkElement{queues.NewChunk(0), 4});
}

void Take(ChunkQueues& queues, int slot, int channel, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    ChunkElement element;
    ASSERT_TRUE(queues.TakeChunk(slot, channel, element));
    queues.Release(element.data);
  }
}

TEST(ChunkQueuesTest, AFullQueueWakesItsFeederOnceABatchIsTakenOrTheOutputStops) {
  ChunkQueues queues;
  std::atomic<bool> stopped{false};
  const auto cancelled = [&] { return stopped.load(); };
  EXPECT_TRUE(queues.WaitForRoom(0, 0, cancelled)) << "room at once";

  Fill(queues, 0, 0);
  ASSERT_EQ(queues.Size(0, 0), kMaxQueuedChunks);
  auto waiting =
      std::async(std::launch::async, [&] { return queues.WaitForRoom(0, 0, cancelled); });
  // Taking from another queue, and less than a batch from this one, wakes
  // no one for good; the batch does.
  Fill(queues, 1, 0);
  Take(queues, 1, 0, kRefillBatch);
  Take(queues, 0, 0, kRefillBatch - 1);
  EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  Take(queues, 0, 0, 1);
  EXPECT_TRUE(waiting.get());
  EXPECT_EQ(queues.Size(0, 0), kMaxQueuedChunks - kRefillBatch);

  // A flush wakes it too.
  Fill(queues, 0, 0);
  waiting = std::async(std::launch::async, [&] { return queues.WaitForRoom(0, 0, cancelled); });
  queues.FlushSlot(0);
  EXPECT_TRUE(waiting.get());

  // A stop ends the wait, however full the queue.
  Fill(queues, 0, 0);
  waiting = std::async(std::launch::async, [&] { return queues.WaitForRoom(0, 0, cancelled); });
  stopped = true;
  queues.CancelWaits();
  EXPECT_FALSE(waiting.get());
  queues.FlushSlot(0);
  queues.FlushSlot(1);
}

}  // namespace
