#include "app/AppStartup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/AppConfigData.h"
#include "platform/TextConv.h"
#include "tests/output/AsioTestSupport.h"

namespace {

using asiotest::DriverRegistry;
using asiotest::kClassA;
using asiotest::kVirtualDac;

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_.empty()) {
      unsetenv(name_);
    } else {
      setenv(name_, old_.c_str(), 1);
    }
  }

 private:
  const char* name_;
  std::string old_;
};

TEST(AppStartupTest, TheDataFolderIsUnderXdgDataHomeOrHome) {
  {
    ScopedEnv data("XDG_DATA_HOME", "/data/home");
    EXPECT_EQ(LocalDataFolder(), L"/data/home/Corvane/Quorelle Player");
  }
  {
    ScopedEnv data("XDG_DATA_HOME", "relative/is/ignored");
    ScopedEnv home("HOME", "/home/listener");
    EXPECT_EQ(LocalDataFolder(), L"/home/listener/.local/share/Corvane/Quorelle Player");
  }
}

class StartupConfigurationTest : public ::testing::Test {
 protected:
  std::wstring Folder() const { return platform::FromUtf8(temp_.File("data/Corvane/Player")); }
  std::string Ini() const { return temp_.File("data/Corvane/Player/config.ini"); }

  fixtures::TempDir temp_;
  DriverRegistry registry_;
};

TEST_F(StartupConfigurationTest, TheFirstStartPicksTheMakersDriverAndSavesIt) {
  registry_.Add("1.ini", "Some Other DAC", kClassA, kVirtualDac);
  registry_.Add("2.ini", "Corvane USB DAC AMP(KLM)", kClassA, kVirtualDac);
  CAppConfigData config;
  EXPECT_TRUE(LoadStartupConfiguration(config, Folder()));
  EXPECT_EQ(config.device.value, L"Corvane USB DAC AMP(KLM)");
  EXPECT_NE(fixtures::ReadText(Ini()).find("Device=Corvane USB DAC AMP(KLM)"), std::string::npos);
}

TEST_F(StartupConfigurationTest, NoMakerDriverLeavesTheDeviceEmptyAndWritesNothing) {
  registry_.Add("1.ini", "Corvane USB DAC AMP(KLM) 2", kClassA, kVirtualDac);  // scores 0
  CAppConfigData config;
  EXPECT_TRUE(LoadStartupConfiguration(config, Folder()));
  EXPECT_EQ(config.device.value, L"");
  EXPECT_TRUE(std::filesystem::is_directory(platform::ToUtf8(Folder())));
  EXPECT_FALSE(std::filesystem::exists(Ini()));
}

TEST_F(StartupConfigurationTest, AStoredDeviceIsKeptEvenWhenItIsNoLongerInstalled) {
  std::filesystem::create_directories(platform::ToUtf8(Folder()));
  fixtures::WriteText(Ini(), "[Config]\nDevice=Gone DAC\nDecodeMode=1\n");
  registry_.Add("2.ini", "Corvane USB DAC AMP(KLM)", kClassA, kVirtualDac);
  CAppConfigData config;
  EXPECT_TRUE(LoadStartupConfiguration(config, Folder()));
  EXPECT_EQ(config.device.value, L"Gone DAC");
  EXPECT_EQ(config.decodeMode.value, 1);
}

TEST_F(StartupConfigurationTest, WithoutADataFolderThePlayerRunsOnDefaults) {
  fixtures::WriteText(temp_.File("file"), "not a folder");
  for (const std::wstring& folder : {std::wstring(), platform::FromUtf8(temp_.File("file"))}) {
    CAppConfigData config;
    config.decodeMode.value = 1;
    EXPECT_FALSE(LoadStartupConfiguration(config, folder));
    EXPECT_EQ(config.decodeMode.value, 0);
  }
}

TEST(AppStartupTest, FileArgumentsDropFlagsAndJoinWithBars) {
  const std::vector<std::wstring> arguments = {L"a.wav",  L"/music/c.wav", L"-x",
                                               L"--play", L"b b.dsf",      L""};
  const auto files = FileArguments(arguments);
  EXPECT_EQ(files, (std::vector<std::wstring>{L"a.wav", L"/music/c.wav", L"b b.dsf"}));
  EXPECT_EQ(JoinFileArguments({L"aaaaa", L"bbbbb"}), L"aaaaa|bbbbb");
  EXPECT_EQ(JoinFileArguments({}), L"");
}

}  // namespace
