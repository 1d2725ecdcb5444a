#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "platform/TextConv.h"
#include "tests/fixtures/WavWriter.h"

namespace {

using fixtures::ReadText;
using fixtures::WriteText;

using platform::IniFile;

class IniFileTest : public ::testing::Test {
 protected:
  IniFile LoadText(const std::string& text) {
    WriteText(path_, text);
    IniFile ini;
    EXPECT_TRUE(ini.Load(wpath_));
    return ini;
  }
  fixtures::TempDir dir_;
  std::string path_ = dir_.File("config.ini");
  std::wstring wpath_ = platform::FromUtf8(path_);
};

TEST_F(IniFileTest, ReadsValuesAsTheProfileFunctionsDo) {
  const IniFile ini = LoadText(
      "\xEF\xBB\xBF"
      "orphan=before any section\r\n"
      "; a comment\r\n"
      "[Config]\r\n"
      "Lead=12abc\r\n"
      "Negative = -60\r\n"
      "Plus=+7\r\n"
      "Words=abc\r\n"
      "Empty=\r\n"
      "Huge=99999999999999\r\n"
      "HugeNegative=-99999999999999\r\n"
      "this line means nothing\r\n"
      "=no key\r\n"
      "Quoted=\"  padded \"\r\n"
      "Single='x'\r\n"
      "Half=\"open\r\n"
      "Dup=first\r\n"
      "dup=second\r\n"
      "  [ Spaced ]  \r\n"
      "Key=spaced section\r\n"
      "[config]\r\n"
      "Lead=5\r\n"
      "Only=in the second Config section\r\n"
      "[Last]\r\n"
      "Tail=no newline");

  const struct {
    const wchar_t* section;
    const wchar_t* key;
    std::int32_t number;
  } numbers[] = {
      {L"Config", L"Lead", 12},
      {L"CONFIG", L"negative", -60},
      {L"Config", L"Plus", 7},
      {L"Config", L"Words", 0},
      {L"Config", L"Empty", 99},
      {L"Config", L"Missing", 99},
      {L"Nowhere", L"Lead", 99},
      {L"Config", L"Huge", INT_MAX},
      {L"Config", L"HugeNegative", INT_MIN},
  };
  for (const auto& c : numbers)
    EXPECT_EQ(ini.GetInt(c.section, c.key, 99), c.number) << c.section << L"/" << c.key;

  const struct {
    const wchar_t* section;
    const wchar_t* key;
    const wchar_t* text;
  } texts[] = {
      {L"Config", L"Quoted", L"  padded "},
      {L"Config", L"Single", L"x"},
      {L"Config", L"Half", L"\"open"},
      {L"Config", L"Dup", L"first"},
      {L"Config", L"Empty", L""},
      {L"Config", L"Only", L"-"},  // only the first of duplicate sections is read
      {L"Spaced", L"Key", L"spaced section"},
      {L"Last", L"Tail", L"no newline"},
      {L"", L"orphan", L"-"},
  };
  for (const auto& c : texts)
    EXPECT_EQ(ini.GetString(c.section, c.key, L"-"), c.text) << c.section << L"/" << c.key;
}

TEST_F(IniFileTest, WritingChangesOnlyTheValuesSet) {
  const std::string original =
      "\xEF\xBB\xBF"
      "; kept comment\r\n"
      "[Window]\r\n"
      "X=1\r\n"
      "\r\n"
      "[Unknown]\r\n"
      "Other=caf\xE9 in Latin-1\r\n"
      "garbage line\r\n"
      "[Config]\r\n"
      "Device=Old\r\n"
      "Device=Second\r\n"
      "; trailing comment\r\n"
      "[Last]\r\n"
      "Tail=no newline";
  IniFile ini = LoadText(original);
  ini.SetString(L"window", L"x", L"-60");
  ini.SetString(L"Window", L"Y", L"7");
  ini.SetString(L"Config", L"Device", L"New");
  ini.SetString(L"Playlist", L"File", L"/music/list.ppl");
  ASSERT_TRUE(ini.Save(wpath_));
  EXPECT_EQ(ReadText(path_),
            "\xEF\xBB\xBF"
            "; kept comment\r\n"
            "[Window]\r\n"
            "x=-60\r\n"
            "Y=7\r\n"
            "\r\n"
            "[Unknown]\r\n"
            "Other=caf\xE9 in Latin-1\r\n"
            "garbage line\r\n"
            "[Config]\r\n"
            "Device=New\r\n"
            "Device=Second\r\n"
            "; trailing comment\r\n"
            "[Last]\r\n"
            "Tail=no newline\r\n"
            "[Playlist]\r\n"
            "File=/music/list.ppl\r\n");
}

TEST_F(IniFileTest, TheFirstWriteCreatesTheFileAndValuesReadBackExactly) {
  IniFile ini;
  ASSERT_TRUE(ini.Load(wpath_));
  EXPECT_FALSE(std::filesystem::exists(path_));
  const std::wstring values[] = {L"plain",
                                 L"  leading and trailing  ",
                                 L"\"quoted\"",
                                 L"'single'",
                                 L"a=b;c",
                                 L"\u65e5\u672c \U0001F3B5",
                                 L""};
  for (std::size_t i = 0; i < std::size(values); ++i)
    ini.SetString(L"Config", L"K" + std::to_wstring(i), values[i]);
  ini.SetString(L"Config", L"Broken", L"two\nlines");
  ASSERT_TRUE(ini.Save(wpath_));

  IniFile again;
  ASSERT_TRUE(again.Load(wpath_));
  for (std::size_t i = 0; i < std::size(values); ++i)
    EXPECT_EQ(again.GetString(L"Config", L"K" + std::to_wstring(i), L"-"), values[i]);
  EXPECT_EQ(again.GetString(L"Config", L"Broken", L"-"), L"two lines");
  EXPECT_EQ(ReadText(path_).substr(0, 19), "[Config]\nK0=plain\nK");
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsReported) {
  std::filesystem::create_directory(path_);
  IniFile ini;
  EXPECT_FALSE(ini.Load(wpath_));
  EXPECT_EQ(ini.GetString(L"Config", L"Device", L"-"), L"-");
  EXPECT_FALSE(ini.Save(wpath_));
}

}  // namespace
