#include "tools/play/Terminal.h"

#include <gtest/gtest.h>

namespace {

using Key = play::CTerminalKeys::Key;

// Raw terminal input, possibly cut in the middle of an escape sequence.
TEST(TerminalKeysTest, InputSplitsIntoKeysAndKeepsAnUnfinishedSequence) {
  std::string pending = " nq\x1b[C\x1b[Dx\x1b[";
  std::vector<Key> keys;
  for (const auto& sequence : play::CTerminalKeys::Split(pending))
    keys.push_back(play::CTerminalKeys::Decode(sequence));
  EXPECT_EQ(keys, (std::vector<Key>{Key::kPause, Key::kNext, Key::kQuit, Key::kForward, Key::kBack,
                                    Key::kNone}));
  EXPECT_EQ(pending, "\x1b[");
  pending += "A";  // the sequence completes with the next read (arrow up: not ours)
  const auto rest = play::CTerminalKeys::Split(pending);
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_EQ(play::CTerminalKeys::Decode(rest[0]), Key::kNone);
  EXPECT_TRUE(pending.empty());
}

}  // namespace
