#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ThrAudioPlayMessageFilter.h"
#include "output/PlaybackMessages.h"

namespace {

using platform::ThreadMessage;

std::string Name(std::uint32_t id) {
  switch (id) {
    case TM_PLAY_ITEM:
      return "play";
    case TM_SEEK:
      return "seek";
    case TM_STOP:
      return "stop";
    case TM_PAUSE:
      return "pause";
    case TM_PREVIOUS:
      return "prev";
    case TM_NEXT:
      return "next";
    case TM_TRACK_END:
      return "end";
    case TM_SET_SHUFFLE:
      return "shuffle";
    case TM_SET_REPEAT:
      return "repeat";
    case TM_OUTPUT_CHANGED:
      return "output";
    case platform::kQuitMessage:
      return "quit";
    default:
      return std::to_string(id);
  }
}

// The commands (name and wParam) the thread handles when `burst` arrives
// at once: coalesced once, then taken from the front.
std::vector<std::string> Handled(const std::vector<ThreadMessage>& burst) {
  platform::ThreadMessageQueue queue;
  for (const auto& message : burst)
    queue.Post(message.id, message.wParam, message.lParam);
  CThrAudioPlayMessageFilter filter;
  filter.Collect(queue);
  filter.Coalesce();
  std::vector<std::string> out;
  while (const auto message = filter.TakeFront())
    out.push_back(Name(message->id) + " " + std::to_string(message->wParam));
  return out;
}

TEST(MessageFilterTest, NewerCommandsDropTheOlderOnesTheyMakePointless) {
  const struct {
    const char* name;
    std::vector<ThreadMessage> burst;
    std::vector<std::string> handled;
  } cases[] = {
      {"three nexts all count",
       {{TM_NEXT, 1}, {TM_NEXT, 1}, {TM_NEXT, 1}},
       {"next 1", "next 1", "next 1"}},
      {"a play behind a later next is dropped", {{TM_PLAY_ITEM, 2}, {TM_NEXT, 1}}, {"next 1"}},
      {"only the later of two seeks", {{TM_SEEK, 10}, {TM_SEEK, 20}}, {"seek 20"}},
      {"a play drops an older play and stop",
       {{TM_STOP, 1}, {TM_PLAY_ITEM, 1}, {TM_PLAY_ITEM, 4}},
       {"play 4"}},
      {"a play keeps a pause and a seek",
       {{TM_PAUSE}, {TM_SEEK, 3}, {TM_PLAY_ITEM, 1}},
       {"pause 0", "seek 3", "play 1"}},
      {"previous drops play, seek, stop and pause",
       {{TM_PLAY_ITEM}, {TM_SEEK, 5}, {TM_STOP}, {TM_PAUSE}, {TM_PREVIOUS, 1}},
       {"prev 1"}},
      {"a stop drops every transport command",
       {{TM_PLAY_ITEM, 1}, {TM_NEXT, 1}, {TM_SEEK, 2}, {TM_TRACK_END, 1}, {TM_STOP, 1}},
       {"stop 1"}},
      {"a stop keeps the settings made before it",
       {{TM_SET_REPEAT, 2},
        {TM_PLAY_ITEM, 1},
        {TM_SET_SHUFFLE, 1},
        {TM_OUTPUT_CHANGED},
        {TM_STOP, 1}},
       {"repeat 2", "shuffle 1", "output 0", "stop 1"}},
      {"quit drops everything before it",
       {{TM_SET_REPEAT, 1}, {TM_STOP, 0}, {platform::kQuitMessage}},
       {"quit 0"}},
      {"a stop after quit leaves the quit",
       {{platform::kQuitMessage}, {TM_STOP, 0}},
       {"quit 0", "stop 0"}},
      {"only older commands are dropped",
       {{TM_NEXT, 1}, {TM_SEEK, 1}, {TM_SEEK, 2}},
       {"next 1", "seek 2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Handled(c.burst), c.handled);
  }
}

TEST(MessageFilterTest, TakeFirstOfFindsACommandAmongOthers) {
  CThrAudioPlayMessageFilter filter;
  filter.Append({TM_REFRESH_TIME});
  filter.Append({TM_PAUSE});
  filter.Append({TM_NEXT, 1});
  const auto taken = filter.TakeFirstOf({TM_STOP, TM_NEXT});
  ASSERT_TRUE(taken);
  EXPECT_EQ(taken->id, TM_NEXT);
  EXPECT_EQ(filter.TakeFront()->id, TM_REFRESH_TIME);
  EXPECT_EQ(filter.TakeFront()->id, TM_PAUSE);
  EXPECT_FALSE(filter.TakeFront());
}

}  // namespace
