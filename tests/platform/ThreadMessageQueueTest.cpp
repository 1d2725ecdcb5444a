#include "platform/ThreadMessageQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(ThreadMessageQueue, WaitForMessageOrEndsOnAMessageOrOnAWokenCondition) {
  platform::ThreadMessageQueue queue;
  std::atomic<bool> done{false};

  // A message already queued comes first, even with the condition true.
  queue.Post(7, 1, 2);
  done = true;
  const auto first = queue.WaitForMessageOr([&] { return done.load(); });
  ASSERT_TRUE(first);
  EXPECT_EQ(first->id, 7u);
  EXPECT_FALSE(queue.WaitForMessageOr([&] { return done.load(); }));

  // Another thread makes the condition true and wakes the wait; the wait
  // returns without taking anything.
  done = false;
  std::thread other([&] {
    done = true;
    queue.Wake();
  });
  EXPECT_FALSE(queue.WaitForMessageOr([&] { return done.load(); }));
  other.join();
  EXPECT_EQ(queue.Size(), 0u);

  // A message posted while it waits ends the wait with that message.
  done = false;
  std::thread poster([&] { queue.Post(9); });
  const auto posted = queue.WaitForMessageOr([&] { return done.load(); });
  poster.join();
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->id, 9u);
}

}  // namespace
