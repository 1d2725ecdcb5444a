#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/PlaylistCtrlImpl.h"

namespace {

TrackInfo Item(int number) {
  TrackInfo item;
  item.title = L"item " + std::to_wstring(number);
  item.length = 75;
  return item;
}

// The window thread edits while the playback thread moves the play position
// and reads items: every answer must describe a consistent playlist.
TEST(PlaylistConcurrency, EditsAndPlayPositionMovesNeverSeeAHalfDoneChange) {
  CPlaylistCtrlImpl playlist;
  for (int i = 0; i < 20; ++i)
    playlist.Append(Item(i));
  constexpr int kRounds = 3000;
  constexpr std::int32_t kMaxCount = 40;
  std::atomic<bool> editing{true};

  std::thread editor([&] {
    for (int round = 0; round < kRounds; ++round) {
      const std::int32_t count = playlist.Count();
      if (count < kMaxCount) playlist.Insert(Item(100 + round), round % (count + 1));
      if (count > 5) playlist.Remove(round % count);
      const std::int32_t moved[] = {1, 3};
      playlist.Move(moved, round % 5);
      if (round % 100 == 0) playlist.RebuildOrder(round % 200 == 0, round % 7);
    }
    editing = false;
  });

  int reads = 0;
  while (editing || reads == 0) {
    ++reads;
    playlist.SetPlayPosition(reads % 50 - 5);
    playlist.SetPlayPositionToItem(reads % 30);
    const std::int32_t current = playlist.CurrentItem();
    const std::int32_t next = playlist.NextItem();
    EXPECT_TRUE(current >= 0 && current < kMaxCount + 1) << current;
    EXPECT_TRUE(next >= 0 && next < kMaxCount + 1) << next;
    TrackInfo item;
    ASSERT_EQ(playlist.GetItem(current, &item), 0);
    ASSERT_EQ(item.title.rfind(L"item ", 0), 0u);
    EXPECT_LE(playlist.PlayedSeconds(), static_cast<std::uint64_t>(kMaxCount));
  }
  editor.join();

  auto order = playlist.PlayOrder();
  std::sort(order.begin(), order.end());
  for (std::size_t i = 0; i < order.size(); ++i)
    ASSERT_EQ(order[i], static_cast<std::int32_t>(i));
  EXPECT_EQ(static_cast<std::int32_t>(order.size()), playlist.Count());
  EXPECT_LT(playlist.PlayPosition(), playlist.Count());
}

}  // namespace
