#include <dlfcn.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <vector>

#include "platform/TextConv.h"
#include "sources/MusicDataPlugin.h"
#include "sources/PluginCtrl.h"
#include "sources/SourceFactory.h"
#include "tests/fixtures/WavWriter.h"
#include "tests/plugins/TestPluginFile.h"
#include "tests/sources/SourceTestSupport.h"

namespace {

namespace fs = std::filesystem;
using fixtures::Bytes;
using platform::FromUtf8;
using sourcetest::ReadToEnd;

const std::string kPluginDir = QP_TEST_PLUGIN_DIR;
const std::string kExtraDir = QP_EXTRA_PLUGIN_DIR;

// A 2-channel stream of 4-byte frames at 88200 frames a second, aligned to
// 2048 frames, like raw DSD64 words.
testplugin::Header DsdLikeStream(std::int32_t frames) {
  testplugin::Header h;
  h.channels = 2;
  h.sampleRate = 88200;
  h.bitsPerSample = 32;
  h.blockAlign = 8;
  h.frameCount = frames;
  h.alignment = 2048;
  h.dataSize =
      static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{frames} * 8, INT32_MAX));
  h.isDsd = 1;
  return h;
}

Bytes ExpectedBytes(std::size_t firstFrame, std::size_t frames, std::size_t blockAlign) {
  Bytes out;
  for (std::size_t f = firstFrame; f < firstFrame + frames; ++f) {
    for (std::size_t i = 0; i < blockAlign; ++i)
      out.push_back(testplugin::TestPluginByte(f, i));
  }
  return out;
}

// Live objects of one test plug-in module, counted inside the module.
class LiveObjects {
 public:
  explicit LiveObjects(const std::string& module) : handle_(dlopen(module.c_str(), RTLD_NOW)) {
    count_ = handle_ ? reinterpret_cast<int (*)()>(dlsym(handle_, "tp_LiveObjects")) : nullptr;
  }
  ~LiveObjects() {
    if (handle_) dlclose(handle_);
  }
  int operator()() const { return count_ ? count_() : -1; }

 private:
  void* handle_;
  int (*count_)() = nullptr;
};

class PluginHostTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(registry_->LoadPlugins(), 0); }

  std::wstring WriteStream(const std::string& name, const testplugin::Header& header,
                           const std::string& title = "", const std::string& artist = "") {
    const std::string path = dir_.File(name);
    EXPECT_TRUE(testplugin::WriteFile(path, header, title, artist));
    return FromUtf8(path);
  }

  std::unique_ptr<CMusicData> OpenSource(const std::wstring& path, std::int32_t expected = 0) {
    auto source = CreateSourceForPath(path, registry_);
    EXPECT_NE(source, nullptr);
    EXPECT_EQ(source->Open({path, false, -96.0}), expected);
    return source;
  }

  fixtures::TempDir dir_;
  std::shared_ptr<CPluginCtrl> registry_ = std::make_shared<CPluginCtrl>();
};

TEST(PluginResultMapping, EveryPluginCodeHasItsSourceCode) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {0, 0},      {-1, -1101}, {-2, -1000},    {-3, -1100}, {-4, -1102},
      {-5, -1101}, {-6, -1104}, {-1000, -1001}, {-7, -1101}, {12345, -1101},
  };
  for (const auto& [plugin, source] : cases)
    EXPECT_EQ(MapPluginResult(plugin), source) << plugin;
}

TEST_F(PluginHostTest, LoadsOnlyPluginsThatExportBothFunctionsAndAcceptTheInterface) {
  ASSERT_EQ(registry_->PluginCount(), 3u);  // tone, shared, rude; not wrongid, noexport
  std::vector<std::wstring> names;
  for (std::size_t i = 0; i < registry_->PluginCount(); ++i)
    names.push_back(registry_->PluginName(i));
  EXPECT_EQ(names[1], L"Shared Plugin");
  EXPECT_EQ(names[2], L"Tone Plugin");
  EXPECT_EQ(registry_->PluginExtensions(2), L"TPA, tpb");
  EXPECT_EQ(registry_->PluginVersion(2), L"2.0.1");
  // Texts that fill their buffer without a terminator are cut at its end.
  EXPECT_EQ(names[0].size(), 99u);
  EXPECT_EQ(names[0].substr(0, 8), L"RudeRude");
  EXPECT_EQ(registry_->PluginName(3), L"");

  // A second scan replaces rather than duplicates.
  ASSERT_EQ(registry_->LoadPlugins(), 0);
  EXPECT_EQ(registry_->PluginCount(), 3u);
}

TEST_F(PluginHostTest, FolderScanKeepsLowerCasePpiFilesThatAreLibraries) {
  const fs::path folder = dir_.File("scan");
  fs::create_directory(folder);
  fs::copy_file(kPluginDir + "/tone.ppi", folder / "Upper.PPI");
  fixtures::WriteFile((folder / "garbage.ppi").string(), fixtures::AudioPattern(3000));
  fs::create_directory(folder / "folder.ppi");
  CPluginCtrl registry;
  ASSERT_EQ(registry.LoadPluginsFrom(FromUtf8(folder.string())), 0);
  EXPECT_EQ(registry.PluginCount(), 0u);

  // Extension lists equal but for case: the later file replaces the earlier.
  fs::copy_file(kPluginDir + "/tone.ppi", folder / "a.ppi");
  fs::copy_file(kExtraDir + "/tone_case.ppi", folder / "b.ppi");
  ASSERT_EQ(registry.LoadPluginsFrom(FromUtf8(folder.string())), 0);
  ASSERT_EQ(registry.PluginCount(), 1u);
  EXPECT_EQ(registry.PluginName(0), L"Tone Again");
  registry.UnloadPlugins();
  EXPECT_EQ(registry.PluginCount(), 0u);
}

TEST_F(PluginHostTest, ExtensionTokensAreSeparatedByCommasAndBlanksAndMatchInAnyCase) {
  CPluginCtrl registry;
  const fs::path folder = dir_.File("case");
  fs::create_directory(folder);
  fs::copy_file(kExtraDir + "/tone_tokens.ppi", folder / "tone_tokens.ppi");
  ASSERT_EQ(registry.LoadPluginsFrom(FromUtf8(folder.string())), 0);
  const struct {
    const wchar_t* path;
    bool found;
  } cases[] = {
      {L"/m/a.tpa", true}, {L"/m/a.TPB", true},  {L"/m/a.Tpc", true},      {L"/m/a.tp", false},
      {L"/m/tpa", false},  {L"/m.tpa/x", false}, {L"/m/a.tpa.wav", false},
  };
  for (const auto& c : cases) {
    PluginObject plugin = registry.FindPlugin(c.path);
    EXPECT_EQ(static_cast<bool>(plugin), c.found) << c.path;
    CPluginCtrl::ReleasePlugin(plugin);
  }
}

TEST_F(PluginHostTest, SourceListsTheTrackAndDeliversAlignedChunksUnchanged) {
  const std::int32_t frames = 3 * 88200 + 1000;
  testplugin::Header header = DsdLikeStream(frames);
  header.artistEncoding = 1;
  const std::wstring path = WriteStream("a.tpa", header, "Title",
                                        std::string("\xFF\xFE"
                                                    "A\0r\0t\0",
                                                    8));
  auto source = OpenSource(path);
  TrackInfo info;
  ASSERT_EQ(source->GetTrackInfo(0, &info), 0);
  EXPECT_EQ(info.path, L"");  // the plug-in source leaves path and file name alone
  EXPECT_EQ(info.type, 4);
  EXPECT_EQ(info.formatName, L"TPA, tpb");
  EXPECT_EQ(info.totalBytes, static_cast<std::uint32_t>(frames * 8));
  EXPECT_EQ(info.title, L"Title");
  EXPECT_EQ(info.artist, L"Art");
  EXPECT_EQ(info.format.nSamplesPerSec, 88200u);
  EXPECT_EQ(info.length, 226u);  // ceil(3.0113 s x 75)
  EXPECT_EQ(info.end, 225u);
  EXPECT_EQ(source->GetTrackInfo(1, &info), -1000);
  EXPECT_STREQ(source->GetFileType()->description, L"Tone Plugin");
  EXPECT_STREQ(source->GetFileType()->extension, L"TPA, tpb");
  std::int32_t flag = 0;
  EXPECT_EQ(source->IsDsd(&flag), 0);
  EXPECT_EQ(flag, 1);

  ASSERT_EQ(source->SetPlayRange(info.start, info.end, 0), 0);
  const auto whole = ReadToEnd(*source);
  EXPECT_EQ(whole.endCode, kMusicEndOfRange);
  EXPECT_EQ(whole.bytes, ExpectedBytes(0, frames, 8));
  // 705600 bytes a second: ten 64 KiB units, 81920 frames a chunk.
  ASSERT_GE(whole.chunkSizes.size(), 2u);
  EXPECT_EQ(whole.chunkSizes[0], 81920u * 8);

  // A seek to 1.5 s starts at the frame of 1 s, down to the alignment.
  ASSERT_EQ(source->SetPlayRange(0, info.end, 112), 0);
  const std::size_t start = 88200 / 2048 * 2048;
  EXPECT_EQ(ReadToEnd(*source).bytes, ExpectedBytes(start, frames - start, 8));

  // A start past the end of the range plays from the range's last aligned second.
  ASSERT_EQ(source->SetPlayRange(0, 75, 300), 0);
  EXPECT_EQ(ReadToEnd(*source).bytes, ExpectedBytes(start, frames - start, 8));
}

TEST_F(PluginHostTest, SeeksPastTheEndOfLongFilesDoNotWrapRound) {
  // A 50-minute file at a DSD512-like rate: a seek to 7000 s, as seconds x
  // rate in 32 bits, would wrap round to about 913 s.
  testplugin::Header h = DsdLikeStream(0x7FFFF000);
  h.sampleRate = 705600;
  h.dataSize = 0x7FFFFFFF;
  auto source = OpenSource(WriteStream("long.tpa", h));
  ASSERT_EQ(source->SetPlayRange(0, 0xFFFFFFFF, 7000 * 75), 0);
  const auto got = ReadToEnd(*source);
  EXPECT_EQ(got.bytes, ExpectedBytes(0x7FFFEFFF, 1, 8));
}

TEST_F(PluginHostTest, BadPluginAnswersAreRefusedWithoutHarm) {
  testplugin::Header noFormat;  // parses to no channels and rate 0
  testplugin::Header negative = DsdLikeStream(-5);
  testplugin::Header oversize = DsdLikeStream(5000);
  oversize.flags = testplugin::kClaimOversizeRead;
  testplugin::Header failing = DsdLikeStream(200000);
  failing.flags = testplugin::kFailSecondRead;
  testplugin::Header huge = DsdLikeStream(0x7FFFFFFF);
  huge.sampleRate = 1;
  huge.dataSize = 1000;

  OpenSource(WriteStream("nofmt.tpa", noFormat), kMusicErrDecode);
  OpenSource(WriteStream("neg.tpa", negative), kMusicErrDecode);
  OpenSource(FromUtf8(dir_.File("missing.tpa")), kMusicErrOpen);
  OpenSource(FromUtf8(dir_.File("nobody.claims")), kMusicErrDecode);
  OpenSource(FromUtf8(dir_.File("a.twr")), kMusicErrDecode);  // its plug-in refused the id

  auto liar = OpenSource(WriteStream("liar.tpa", oversize));
  liar->SetPlayRange(0, 100, 0);
  EXPECT_EQ(ReadToEnd(*liar).endCode, kMusicErrDecode);

  auto broken = OpenSource(WriteStream("broken.tpa", failing));
  broken->SetPlayRange(0, 100, 0);
  const auto got = ReadToEnd(*broken);
  EXPECT_EQ(got.chunkSizes.size(), 1u);
  EXPECT_EQ(got.endCode, kMusicErrDecode);

  auto endless = OpenSource(WriteStream("huge.tpa", huge));
  TrackInfo info;
  endless->GetTrackInfo(0, &info);
  EXPECT_EQ(info.length, 0xFFFFFFFFu);  // clamped, not wrapped
}

TEST_F(PluginHostTest, TagsTooLongForTheBuffersLeaveTitleAndArtistEmpty) {
  auto source = OpenSource(WriteStream("tags.tpa", DsdLikeStream(100), std::string(600, 't'), "a"));
  TrackInfo info;
  source->GetTrackInfo(0, &info);
  EXPECT_EQ(info.title, L"");
  EXPECT_EQ(info.artist, L"");
  EXPECT_EQ(info.format.nChannels, 2);
}

TEST_F(PluginHostTest, ObjectsAreSharedOrOwnedAsThePluginAsks) {
  const LiveObjects tone(kPluginDir + "/tone.ppi");
  const LiveObjects shared(kPluginDir + "/shared.ppi");
  ASSERT_EQ(tone(), 0);
  ASSERT_EQ(shared(), 1);  // the registry keeps one shared object
  {
    auto a = OpenSource(WriteStream("a.tpa", DsdLikeStream(10)));
    auto b = OpenSource(WriteStream("b.tpb", DsdLikeStream(20)));
    EXPECT_EQ(tone(), 2);
    auto c = OpenSource(WriteStream("c.tsh", DsdLikeStream(10)));
    auto d = OpenSource(WriteStream("d.tsh", DsdLikeStream(10)));
    EXPECT_EQ(shared(), 1);
    a.reset();
    EXPECT_EQ(tone(), 1);
    // b still reads its own file.
    b->SetPlayRange(0, 0, 0);
    EXPECT_EQ(ReadToEnd(*b).bytes, ExpectedBytes(0, 20, 8));
  }
  EXPECT_EQ(tone(), 0);
  EXPECT_EQ(shared(), 1);
}

TEST_F(PluginHostTest, SourcesOutliveARescanAndAnUnload) {
  const LiveObjects shared(kPluginDir + "/shared.ppi");
  auto playing = OpenSource(WriteStream("p.tsh", DsdLikeStream(5000)));
  ASSERT_EQ(registry_->LoadPlugins(), 0);  // replaces every entry
  EXPECT_EQ(shared(), 2);                  // old shared object still in use
  registry_->UnloadPlugins();
  EXPECT_EQ(registry_->PluginCount(), 0u);
  playing->SetPlayRange(0, 0, 0);
  EXPECT_EQ(ReadToEnd(*playing).bytes, ExpectedBytes(0, 5000, 8));
  playing.reset();
  EXPECT_EQ(shared(), 0);
}

TEST_F(PluginHostTest, ObjectsGoBackThroughTheModuleThatMadeThem) {
  // Two plug-in files with one display name: each object must still be
  // destroyed by its own module.
  const fs::path folder = dir_.File("twins");
  fs::create_directory(folder);
  fs::copy_file(kPluginDir + "/tone.ppi", folder / "a.ppi");
  fs::copy_file(kExtraDir + "/tone_twin.ppi", folder / "b.ppi");
  auto registry = std::make_shared<CPluginCtrl>();
  ASSERT_EQ(registry->LoadPluginsFrom(FromUtf8(folder.string())), 0);
  ASSERT_EQ(registry->PluginCount(), 2u);
  const LiveObjects first((folder / "a.ppi").string());
  const LiveObjects second((folder / "b.ppi").string());
  {
    const std::wstring path = WriteStream("x.twn", DsdLikeStream(10));
    CMusicDataPlugin twin(registry, path);
    ASSERT_EQ(twin.Open({path, false, -96.0}), 0);
    EXPECT_EQ(first(), 0);
    EXPECT_EQ(second(), 1);
  }
  EXPECT_EQ(first(), 0);
  EXPECT_EQ(second(), 0);
}

TEST_F(PluginHostTest, SourceForARegistryIndexCarriesTheEntrysTexts) {
  CMusicDataPlugin source(registry_, std::size_t{2});
  EXPECT_STREQ(source.GetFileType()->description, L"Tone Plugin");
  EXPECT_STREQ(source.GetFileType()->extension, L"TPA, tpb");
  CMusicDataPlugin none(registry_, std::size_t{7});
  EXPECT_STREQ(none.GetFileType()->description, L"");
  EXPECT_EQ(none.Open({L"/x.tpa", false, -96.0}), kMusicErrDecode);
}

}  // namespace
