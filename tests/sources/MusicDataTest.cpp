#include <gtest/gtest.h>

#include "sources/BuiltInSources.h"
#include "sources/MusicData.h"
#include "sources/MusicDataCDDA.h"
#include "sources/MusicDataPlugin.h"
#include "sources/MusicDataWave.h"
#include "sources/MusicErrors.h"
#include "sources/SourceFactory.h"

namespace {

TEST(FormatMusicError, GivesTheUsersMessageForEachCode) {
  const struct {
    std::int32_t code;
    std::wstring text;
  } cases[] = {
      {0, L""},
      {-1200, L""},
      {-1000, L"Parameter error occurred."},
      {-1001, L"Illegal control sequence error occurred."},
      {-1100, L"Can't open file (\"/music/a.wav\")"},
      {-1101, L"Decode Failed."},
      {-1102, L"Not enough memory"},
      {-1103, L"Decode Failed."},
      {-1104, L"Decode Failed."},
      {-7, L"Unknown error (error code = fffffff9)"},
      {0x1234, L"Unknown error (error code = 00001234)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatMusicError(c.code, L"/music/a.wav"), c.text) << c.code;
  EXPECT_EQ(FormatNoDeviceError(), L"No output device has been selected.");
  EXPECT_EQ(FormatNonPlayableError(L"/a.dsf", L"DSD", 88200), L"Non playable file.");
}

TEST(SourceFactory, ChoosesBySourceTypeAndExtensionInAnyCase) {
  const struct {
    const wchar_t* path;
    std::int32_t type;
  } cases[] = {
      {L"/m/a.wav", 2},       {L"/m/a.WAV", 2},  {L"/m/a.Mp3", 3},     {L"/m/a.dsf", 4},
      {L"/m/noextension", 4}, {L"/m.d/file", 4}, {L"/m/a.wav.cue", 4}, {L"C:\\m\\a.wav", 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GetMusicDataType(c.path), c.type) << c.path;

  EXPECT_NE(dynamic_cast<CMusicDataWave*>(CreateSourceForPath(L"/m/a.WAV", nullptr).get()),
            nullptr);
  EXPECT_NE(
      dynamic_cast<CMusicDataWave*>(CreateSourceForType(kSourceTypeWave, L"/x", nullptr).get()),
      nullptr);
  EXPECT_EQ(CreateSourceForType(0, L"/m/a.wav", nullptr), nullptr);
  EXPECT_EQ(CreateSourceForType(9, L"/m/a.wav", nullptr), nullptr);

  // Every built-in kind is made from its extension (its source names that
  // file type) and, where it has a type code, from the code.
  for (const BuiltInSourceKind& kind : kBuiltInSourceKinds) {
    SCOPED_TRACE(std::wstring(kind.formatName));
    if (!kind.extension.empty()) {
      auto source = CreateSourceForPath(L"/m/a." + std::wstring(kind.extension), nullptr);
      ASSERT_NE(source, nullptr);
      ASSERT_NE(source->GetFileType(), nullptr);
      EXPECT_EQ(std::wstring_view(source->GetFileType()->extension), kind.extension);
    }
    if (kind.type != 0) EXPECT_NE(CreateSourceForType(kind.type, L"/x", nullptr), nullptr);
  }
  EXPECT_NE(dynamic_cast<CMusicDataCDDA*>(CreateSourceForType(kSourceTypeCdda, L"", nullptr).get()),
            nullptr);

  // A file no source handles becomes a plug-in source, refused when opened.
  auto unknown = CreateSourceForPath(L"/m/noextension", nullptr);
  ASSERT_NE(dynamic_cast<CMusicDataPlugin*>(unknown.get()), nullptr);
  EXPECT_EQ(unknown->Open({L"/m/noextension", false, -96.0}), kMusicErrDecode);
}

TEST(CMusicData, BaseClassAnswersAsDocumented) {
  CMusicData base;
  EXPECT_EQ(base.GetFileType(), nullptr);
  std::int32_t count = 42;
  EXPECT_EQ(base.GetTrackCount(&count), 0);
  EXPECT_EQ(count, 42);
  void* data = &count;
  std::uint32_t size = 7;
  EXPECT_EQ(base.Read(&data, &size), 0);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 0u);
  std::int32_t flag = 5;
  EXPECT_EQ(base.IsDsd(&flag), 0);
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(base.IsMultiInstance(&flag), 0);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(base.IsMultiInstance(nullptr), -1000);
  EXPECT_EQ(base.AllocBuffer(0), nullptr);

  CMusicDataWave wave;
  EXPECT_EQ(wave.IsMultiInstance(nullptr), -1000);
  ASSERT_NE(wave.GetFileType(), nullptr);
  EXPECT_STREQ(wave.GetFileType()->description, L"WAVE File");
  EXPECT_STREQ(wave.GetFileType()->extension, L"wav");
}

}  // namespace
