#include "core/TkText.h"

#include <gtest/gtest.h>

#include "sources/TrackInfo.h"

namespace {

TEST(TkTextTest, DurationsShowHoursOnlyFromOneHourOn) {
  const struct {
    std::uint32_t length;
    const wchar_t* text;
  } cases[] = {{0, L"0:00"},
               {74, L"0:00"},
               {75, L"0:01"},
               {269999, L"59:59"},
               {270000, L"1:00:00"},
               {270000 * 25 + 75 * 61, L"25:01:01"},
               {4294967295u, L"15907:17:10"}};
  for (const auto& c : cases)
    EXPECT_EQ(tk::DurationText(c.length), c.text) << c.length;
}

TEST(TkTextTest, RowsShowTheFileNameForAMissingTitleAndCutLongTexts) {
  TrackInfo item;
  item.artist = std::wstring(300, L'a');
  item.fileName = L"track.wav";
  item.path = L"/music/track.wav";
  item.length = 75 * 65;
  const auto texts = tk::RowTexts(item);
  EXPECT_EQ(texts[0], std::wstring(260, L'a'));
  EXPECT_EQ(texts[1], L"track.wav");
  EXPECT_EQ(texts[2], L"1:05");
  EXPECT_EQ(texts[3], L"/music/track.wav");
  item.title = L"Title";
  EXPECT_EQ(tk::RowTexts(item)[1], L"Title");
}

TEST(TkTextTest, ExtensionTextsSplitIntoTokens) {
  const struct {
    const wchar_t* text;
    std::vector<std::wstring> tokens;
  } cases[] = {{L"dsf", {L"dsf"}},
               {L"dsf|dff", {L"dsf", L"dff"}},
               {L"dsf, dff  wsd", {L"dsf", L"dff", L"wsd"}},
               {L"a|b|c", {L"a", L"b|c"}},  // '|' ends the first token only
               {L",,", {}},
               {L"", {}}};
  for (const auto& c : cases)
    EXPECT_EQ(tk::ExtensionTokens(c.text), c.tokens) << c.tokens.size();
}

TEST(TkTextTest, PlayableExtensionsMatchInAnyCase) {
  const std::vector<std::wstring> extensions = {L"wav", L"mp3", L"cue", L"dsf"};
  EXPECT_TRUE(tk::HasPlayableExtension(L"/a/B.WAV", extensions));
  EXPECT_TRUE(tk::HasPlayableExtension(L"x.tar.dsf", extensions));
  EXPECT_FALSE(tk::HasPlayableExtension(L"list.ppl", extensions));
  EXPECT_FALSE(tk::HasPlayableExtension(L"wav", extensions));
  EXPECT_FALSE(tk::HasPlayableExtension(L"/a.wav/readme", extensions));
}

TEST(TkTextTest, TheMusicFilterListsEveryKindAfterAllOfThem) {
  const std::vector<tk::FileKind> kinds = {
      {L"WAVE File", {L"wav"}}, {L"MP3 File", {L"mp3"}}, {L"dsf|dff", {L"dsf", L"dff"}}};
  EXPECT_EQ(tk::MusicFilter(kinds),
            L"All Music File|*.wav;*.mp3;*.dsf;*.dff;|WAVE File|*.wav;|MP3 File|*.mp3;"
            L"|dsf|dff|*.dsf;*.dff;||");
}

}  // namespace
