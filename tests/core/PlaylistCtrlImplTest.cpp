#include "core/PlaylistCtrlImpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace {

// An item recognised by its title; lengths in CD frames.
TrackInfo Item(const std::wstring& title, std::uint32_t length = 75) {
  TrackInfo item;
  item.path = L"/music/" + title + L".wav";
  item.title = title;
  item.length = length;
  return item;
}

// A playlist of items titled "0", "1", ... in play order 0, 1, ...
void Fill(CPlaylistCtrlImpl& playlist, int count) {
  for (int i = 0; i < count; ++i)
    playlist.Append(Item(std::to_wstring(i)));
}

std::vector<std::wstring> Titles(const CPlaylistCtrlImpl& playlist) {
  std::vector<std::wstring> titles;
  for (const auto& item : playlist.Items())
    titles.push_back(item.title);
  return titles;
}

std::vector<std::wstring> Titles(std::initializer_list<int> numbers) {
  std::vector<std::wstring> titles;
  for (const int n : numbers)
    titles.push_back(std::to_wstring(n));
  return titles;
}

std::wstring CurrentTitle(const CPlaylistCtrlImpl& playlist) {
  TrackInfo item;
  EXPECT_EQ(playlist.GetItem(playlist.CurrentItem(), &item), 0);
  return item.title;
}

bool IsPermutation(std::vector<std::int32_t> order) {
  std::sort(order.begin(), order.end());
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (order[i] != static_cast<std::int32_t>(i)) return false;
  }
  return true;
}

TEST(PlaylistCtrlImpl, InsertKeepsTheCurrentItemCurrent) {
  CPlaylistCtrlImpl playlist;
  playlist.Insert(Item(L"first"), 0);
  EXPECT_EQ(playlist.Count(), 1);
  EXPECT_EQ(playlist.CurrentItem(), 0);
  EXPECT_FALSE(playlist.IsModified());  // the caller marks edits

  playlist.RemoveAll();
  Fill(playlist, 5);
  playlist.SetPlayPosition(2);
  playlist.Insert(Item(L"before"), 1);
  EXPECT_EQ(playlist.CurrentItem(), 3);
  EXPECT_EQ(CurrentTitle(playlist), L"2");
  playlist.Insert(Item(L"after"), 5);
  EXPECT_EQ(CurrentTitle(playlist), L"2");
  playlist.Insert(Item(L"at current"), 3);
  EXPECT_EQ(CurrentTitle(playlist), L"2");
  playlist.Insert(Item(L"far past the end"), 1000);
  EXPECT_EQ(Titles(playlist),
            (std::vector<std::wstring>{L"0", L"before", L"1", L"at current", L"2", L"3", L"after",
                                       L"4", L"far past the end"}));

  // With shuffle the current item is pinned first in the new order.
  playlist.RebuildOrder(true, 4);
  playlist.Insert(Item(L"shuffled in"), 0);
  EXPECT_EQ(playlist.PlayPosition(), 0);
  EXPECT_EQ(CurrentTitle(playlist), L"2");
  EXPECT_TRUE(IsPermutation(playlist.PlayOrder()));
}

TEST(PlaylistCtrlImpl, RemoveMovesTheCurrentItemAsTheUserExpects) {
  CPlaylistCtrlImpl playlist;
  Fill(playlist, 5);
  playlist.SetPlayPosition(2);
  EXPECT_FALSE(playlist.Remove(0));  // before the current item
  EXPECT_EQ(CurrentTitle(playlist), L"2");
  EXPECT_TRUE(playlist.Remove(1));  // the current item: its follower becomes current
  EXPECT_EQ(CurrentTitle(playlist), L"3");
  playlist.SetPlayPosition(-1);  // the last item
  EXPECT_EQ(CurrentTitle(playlist), L"4");
  EXPECT_TRUE(playlist.Remove(2));
  EXPECT_EQ(playlist.CurrentItem(), 0);
  EXPECT_EQ(Titles(playlist), Titles({1, 3}));

  EXPECT_FALSE(playlist.Remove(2));
  EXPECT_FALSE(playlist.Remove(-1));
  EXPECT_EQ(playlist.Count(), 2);
  EXPECT_TRUE(playlist.Remove(0));
  EXPECT_TRUE(playlist.Remove(0));
  EXPECT_EQ(playlist.Count(), 0);
  EXPECT_EQ(playlist.PlayPosition(), 0);
  EXPECT_TRUE(playlist.PlayOrder().empty());
}

TEST(PlaylistCtrlImpl, MovePutsTheItemsTogetherBeforeTheTarget) {
  const struct {
    std::vector<std::int32_t> indices;
    std::int32_t target;
    std::vector<std::wstring> titles;
  } cases[] = {
      {{2, 3}, 0, Titles({2, 3, 0, 1, 4})}, {{0}, 3, Titles({1, 2, 0, 3, 4})},
      {{0}, 5, Titles({1, 2, 3, 4, 0})},    {{1, 3}, 5, Titles({0, 2, 4, 1, 3})},
      {{0, 4}, 2, Titles({1, 0, 4, 2, 3})}, {{1, 2}, 2, Titles({0, 1, 2, 3, 4})},
      {{3}, 3, Titles({0, 1, 2, 3, 4})},
  };
  for (const auto& c : cases) {
    CPlaylistCtrlImpl playlist;
    Fill(playlist, 5);
    EXPECT_TRUE(playlist.Move(c.indices, c.target));
    EXPECT_EQ(Titles(playlist), c.titles) << "target " << c.target;
  }

  const struct {
    std::vector<std::int32_t> indices;
    std::int32_t target;
  } refused[] = {{{}, 0}, {{3, 1}, 0}, {{1, 1}, 0}, {{5}, 0}, {{-1}, 0}, {{1}, 6}, {{1}, -1}};
  for (const auto& c : refused) {
    CPlaylistCtrlImpl playlist;
    Fill(playlist, 5);
    EXPECT_FALSE(playlist.Move(c.indices, c.target));
    EXPECT_EQ(Titles(playlist), Titles({0, 1, 2, 3, 4}));
  }
}

TEST(PlaylistCtrlImpl, MoveKeepsTheCurrentItemCurrentWithAndWithoutShuffle) {
  for (const bool shuffle : {false, true}) {
    // Enough rounds that a shuffled order almost surely differs from the
    // item order at some point.
    for (int round = 0; round < 20; ++round) {
      CPlaylistCtrlImpl playlist;
      Fill(playlist, 8);
      playlist.RebuildOrder(shuffle, -1);
      playlist.SetPlayPosition(3);
      const std::wstring current = CurrentTitle(playlist);
      const std::int32_t indices[] = {0, 5, 6};
      ASSERT_TRUE(playlist.Move(indices, 3));
      EXPECT_EQ(CurrentTitle(playlist), current) << "shuffle " << shuffle;
      EXPECT_TRUE(IsPermutation(playlist.PlayOrder()));
      if (shuffle) {
        EXPECT_EQ(playlist.PlayPosition(), 0);
      }
    }
  }
}

TEST(PlaylistCtrlImpl, RebuildOrderShufflesAFreshPermutationWithThePinnedItemFirst) {
  CPlaylistCtrlImpl playlist;
  Fill(playlist, 10);
  std::set<std::vector<std::int32_t>> orders;
  for (int round = 0; round < 20; ++round) {
    playlist.SetPlayPosition(7);
    playlist.MarkUnplayable(2);
    playlist.RebuildOrder(true, 5);
    const auto order = playlist.PlayOrder();
    EXPECT_TRUE(IsPermutation(order));
    EXPECT_EQ(order[0], 5);
    EXPECT_EQ(playlist.PlayPosition(), 0);
    EXPECT_FALSE(playlist.AllUnplayable());
    TrackInfo item;
    playlist.GetItem(2, &item);
    EXPECT_FALSE(IsMarkedUnplayable(item));
    orders.insert(order);
  }
  EXPECT_GT(orders.size(), 1u);
  EXPECT_TRUE(playlist.IsShuffle());

  playlist.RebuildOrder(true, 10);  // out of range: item 0 is pinned
  EXPECT_EQ(playlist.PlayOrder()[0], 0);
  playlist.RebuildOrder(true, -7);  // any negative pins nothing
  EXPECT_TRUE(IsPermutation(playlist.PlayOrder()));

  playlist.RebuildOrder(false, 5);
  std::vector<std::int32_t> identity(10);
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(playlist.PlayOrder(), identity);
  EXPECT_FALSE(playlist.IsShuffle());
}

TEST(PlaylistCtrlImpl, PlayPositionQueriesAndOutOfRangeIndices) {
  CPlaylistCtrlImpl playlist;
  TrackInfo out = Item(L"untouched");
  EXPECT_EQ(playlist.GetItem(0, &out), -1);
  EXPECT_EQ(out.title, L"untouched");
  EXPECT_EQ(playlist.CurrentItem(), 0);
  EXPECT_EQ(playlist.NextItem(), 0);
  EXPECT_EQ(playlist.MarkUnplayable(0), -1);
  EXPECT_TRUE(playlist.AllUnplayable());
  // An empty playlist keeps position 0, so a later insert has a current item.
  EXPECT_EQ(playlist.SetPlayPosition(-1), 0);
  playlist.Insert(Item(L"0"), 0);
  EXPECT_EQ(CurrentTitle(playlist), L"0");

  playlist.RemoveAll();
  Fill(playlist, 4);
  EXPECT_EQ(playlist.SetPlayPosition(-1), 3);
  EXPECT_EQ(playlist.NextItem(), 0);
  EXPECT_EQ(playlist.SetPlayPosition(4), 0);
  EXPECT_EQ(playlist.NextItem(), 1);
  EXPECT_EQ(playlist.SetPlayPositionToItem(2), 2);
  EXPECT_EQ(playlist.SetPlayPositionToItem(9), 2);
  for (const std::int32_t index : {4, -1}) {
    ASSERT_EQ(playlist.GetItem(index, &out), 0);
    EXPECT_EQ(out.title, L"0");
  }
  EXPECT_EQ(playlist.MarkUnplayable(99), 0);
  playlist.GetItem(0, &out);
  EXPECT_TRUE(IsMarkedUnplayable(out));
}

TEST(PlaylistCtrlImpl, PlayedSecondsFollowItemOrderOrPlayOrder) {
  CPlaylistCtrlImpl playlist;
  const std::uint32_t lengths[] = {149, 75, 7500, 74};  // 1, 1, 100 and 0 whole seconds
  for (int i = 0; i < 4; ++i)
    playlist.Append(Item(std::to_wstring(i), lengths[i]));
  EXPECT_EQ(playlist.PlayedSeconds(), 0u);
  playlist.SetPlayPosition(3);
  EXPECT_EQ(playlist.PlayedSeconds(), 102u);

  playlist.RebuildOrder(true, 2);
  playlist.SetPlayPosition(1);
  EXPECT_EQ(playlist.PlayedSeconds(), 100u);  // only item 2 comes first
}

TEST(PlaylistCtrlImpl, MarksModifiedAndUnplayable) {
  CPlaylistCtrlImpl playlist;
  EXPECT_FALSE(playlist.IsModified());
  TrackInfo marked = Item(L"0");
  marked.reserved[0] = 1;
  playlist.Append(marked);
  EXPECT_TRUE(playlist.IsModified());
  EXPECT_FALSE(playlist.AllUnplayable());  // copies come in playable
  playlist.Insert(marked, 0);
  EXPECT_FALSE(playlist.AllUnplayable());

  playlist.MarkUnplayable(0);
  EXPECT_FALSE(playlist.AllUnplayable());
  playlist.MarkUnplayable(1);
  EXPECT_TRUE(playlist.AllUnplayable());
  playlist.ClearUnplayable();
  EXPECT_FALSE(playlist.AllUnplayable());

  playlist.SetPlayPosition(1);
  playlist.RemoveAll();
  EXPECT_FALSE(playlist.IsModified());
  EXPECT_EQ(playlist.Count(), 0);
  EXPECT_EQ(playlist.PlayPosition(), 0);
}

}  // namespace
