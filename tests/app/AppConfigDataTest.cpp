#include "app/AppConfigData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/AppConfigDataIniFileBackend.h"
#include "platform/TextConv.h"
#include "tests/fixtures/WavWriter.h"

namespace {

using fixtures::ReadText;
using fixtures::WriteText;

using IniBackend = CAppConfigDataIniFileBackend<CAppConfigDataAppProfileBackend>;

void ExpectDefaults(const CAppConfigData& config) {
  EXPECT_EQ(config.windowX.value, 0);
  EXPECT_EQ(config.windowY.value, 0);
  EXPECT_EQ(config.device.value, L"");
  EXPECT_FALSE(config.mp3Gapless.value);
  EXPECT_EQ(config.thrGapless.value, -45);
  EXPECT_EQ(config.decodeMode.value, 0);
  EXPECT_EQ(config.ramMode.value, 0);
  EXPECT_EQ(config.repeatMode.value, 0);
  EXPECT_EQ(config.shuffleMode.value, 0);
  EXPECT_EQ(config.playlistFile.value, L"");
}

class AppConfigDataTest : public ::testing::Test {
 protected:
  // A store as the application builds it: defaults, backend, load.
  std::unique_ptr<CAppConfigData> Start(bool expectLoaded = true) {
    auto config = std::make_unique<CAppConfigData>();
    config->ResetToDefaults();
    config->SetBackend(std::make_shared<IniBackend>(platform::FromUtf8(path_)));
    EXPECT_EQ(config->Load(), expectLoaded);
    return config;
  }
  fixtures::TempDir dir_;
  std::string path_ = dir_.File("config.ini");
};

TEST_F(AppConfigDataTest, AFirstRunHasTheDefaultsAndTheFirstSaveWritesEveryItem) {
  auto config = Start();
  ExpectDefaults(*config);
  EXPECT_FALSE(std::filesystem::exists(path_));  // loading creates nothing

  config->thrGapless.value = -60;
  config->mp3Gapless.value = true;
  config->device.value = L"Corvane USB DAC AMP(KLM)";
  config->playlistFile.value = L"/home/user/Music/caf\u00e9.ppl";
  ASSERT_TRUE(config->Save());
  EXPECT_EQ(ReadText(path_),
            "[Window]\nX=0\nY=0\n"
            "[Config]\nDevice=Corvane USB DAC AMP(KLM)\nMp3Gapless=true\nThrGapless=-60\n"
            "DecodeMode=0\nRamMode=0\nRepeatMode=0\nShuffleMode=0\n"
            "[Playlist]\nFile=/home/user/Music/caf\xC3\xA9.ppl\n");

  const auto again = Start();
  EXPECT_EQ(again->thrGapless.value, -60);
  EXPECT_TRUE(again->mp3Gapless.value);
  EXPECT_EQ(again->device.value, L"Corvane USB DAC AMP(KLM)");
  EXPECT_EQ(again->playlistFile.value, L"/home/user/Music/caf\u00e9.ppl");
}

TEST_F(AppConfigDataTest, StoredTextsReadAsTheProfileFunctionsReadThem) {
  const struct {
    std::string line;
    bool mp3Gapless;
  } booleans[] = {{"Mp3Gapless=true", true},  {"Mp3Gapless=TRUE", false},
                  {"Mp3Gapless=True", false}, {"Mp3Gapless=1", false},
                  {"Mp3Gapless=", false},     {"Mp3gapless = true ", true}};
  for (const auto& c : booleans) {
    WriteText(path_, "[Config]\n" + c.line + "\n");
    EXPECT_EQ(Start()->mp3Gapless.value, c.mp3Gapless) << c.line;
  }

  WriteText(path_,
            "[config]\nThrGapless=-60dB\nDecodeMode=native\nRamMode=\nRepeatMode=2\n"
            "RepeatMode=1\nShuffleMode=  1\n[WINDOW]\nX=-1200\nY=99999999999\n");
  const auto config = Start();
  EXPECT_EQ(config->thrGapless.value, -60);
  EXPECT_EQ(config->decodeMode.value, 0);  // no digits: 0
  EXPECT_EQ(config->ramMode.value, 0);     // empty: the default
  EXPECT_EQ(config->repeatMode.value, 2);  // the first of duplicate keys
  EXPECT_EQ(config->shuffleMode.value, 1);
  EXPECT_EQ(config->windowX.value, -1200);
  EXPECT_EQ(config->windowY.value, 2147483647);
  EXPECT_EQ(config->device.value, L"");  // missing key: the default
}

TEST_F(AppConfigDataTest, SavingKeepsWhatThePlayerDoesNotKnow) {
  const std::string original =
      "; written by hand\r\n"
      "[Config]\r\n"
      "Device=Old\r\n"
      "Volume=11\r\n"
      "garbage without equals\r\n"
      "[Plugins]\r\n"
      "Extra=keep me";
  WriteText(path_, original);
  auto config = Start();
  config->device.value = L"New";
  ASSERT_TRUE(config->Save());
  const std::string saved = ReadText(path_);
  for (const std::string kept : {"; written by hand\r\n", "Volume=11\r\n",
                                 "garbage without equals\r\n", "[Plugins]\r\nExtra=keep me\r\n"}) {
    EXPECT_NE(saved.find(kept), std::string::npos) << kept;
  }
  EXPECT_NE(saved.find("Device=New\r\n"), std::string::npos);
  EXPECT_EQ(saved.find("Device=Old"), std::string::npos);
  EXPECT_EQ(Start()->device.value, L"New");
}

TEST_F(AppConfigDataTest, ADeletedKeyRevertsToItsDefault) {
  auto config = Start();
  config->thrGapless.value = -60;
  config->repeatMode.value = 2;
  ASSERT_TRUE(config->Save());
  std::string text = ReadText(path_);
  text.erase(text.find("ThrGapless=-60\n"), 15);
  WriteText(path_, text);

  config->ResetToDefaults();
  config->thrGapless.value = -10;  // whatever was in memory before
  ASSERT_TRUE(config->Load());
  EXPECT_EQ(config->thrGapless.value, -45);
  EXPECT_EQ(config->repeatMode.value, 2);
}

TEST_F(AppConfigDataTest, AssignmentCopiesValuesAndTheBackendButNotKeysOrDefaults) {
  auto config = Start();
  CAppConfigData copy;
  copy = *config;
  copy.decodeMode.value = 1;
  copy.device.value = L"WASAPI: Speakers";
  ASSERT_TRUE(copy.Save());  // through the copied backend
  EXPECT_EQ(Start()->decodeMode.value, 1);

  *config = copy;
  EXPECT_EQ(config->device.value, L"WASAPI: Speakers");
  EXPECT_EQ(config->device.key(), L"Device");
  config->ResetToDefaults();
  ExpectDefaults(*config);
}

TEST_F(AppConfigDataTest, WithoutAUsableFileNothingIsLostOrWritten) {
  CAppConfigData detached;
  detached.thrGapless.value = -20;
  EXPECT_FALSE(detached.Load());
  EXPECT_FALSE(detached.Save());
  EXPECT_EQ(detached.thrGapless.value, -20);

  // Something that cannot be read stands at the path: defaults, and no save
  // replaces it.
  std::filesystem::create_directory(path_);
  auto config = Start(false);
  ExpectDefaults(*config);
  EXPECT_FALSE(config->Save());
  EXPECT_TRUE(std::filesystem::is_directory(path_));

  // A folder that does not exist: the save fails quietly.
  CAppConfigData missing;
  missing.SetBackend(
      std::make_shared<IniBackend>(platform::FromUtf8(dir_.File("none/config.ini"))));
  EXPECT_TRUE(missing.Load());
  EXPECT_FALSE(missing.Save());
}

}  // namespace
