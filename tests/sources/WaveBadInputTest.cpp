#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/fixtures/WavWriter.h"
#include "tests/sources/SourceTestSupport.h"

namespace {

using fixtures::Bytes;
using fixtures::WavFile;
using fixtures::WavFormat;
using sourcetest::InfoOf;
using sourcetest::OpenWave;
using sourcetest::ReadToEnd;

const WavFormat kCd{1, 2, 44100, 16};

Bytes Truncated(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

Bytes FormatWith(std::size_t offset, std::uint8_t value) {
  Bytes body = fixtures::FormatChunkBody(kCd);
  body[offset] = value;
  body[offset + 1] = 0;
  return body;
}

TEST(WaveBadInput, DamagedFilesAreRefusedWithTheirCode) {
  const Bytes pcm = fixtures::AudioPattern(4 * 2352);
  const Bytes good = WavFile().Format(kCd).Data(pcm).Build();
  const struct {
    const char* name;
    Bytes file;
    std::int32_t code;
  } cases[] = {
      {"empty file", {}, kMusicErrDecode},
      {"garbage", fixtures::AudioPattern(5000), kMusicErrDecode},
      {"cut inside the RIFF header", Truncated(good, 10), kMusicErrDecode},
      {"cut inside the format chunk", Truncated(good, 30), kMusicErrDecode},
      {"cut inside the data chunk header", Truncated(good, 40), kMusicErrDecode},
      {"RIFF form other than WAVE", WavFile().FormType("AVI ").Format(kCd).Data(pcm).Build(),
       kMusicErrDecode},
      {"no format chunk", WavFile().Data(pcm).Build(), kMusicErrDecode},
      {"no data chunk", WavFile().Format(kCd).Chunk("junk", pcm).Build(), kMusicErrDecode},
      {"data before format", WavFile().Data(pcm).Format(kCd).Build(), kMusicErrDecode},
      {"format chunk under 16 bytes",
       WavFile().Chunk("fmt ", Truncated(fixtures::FormatChunkBody(kCd), 14)).Data(pcm).Build(),
       kMusicErrDecode},
      {"format size past the file", WavFile().Chunk("fmt ", Bytes(16), 0x7FFFFFFF).Build(),
       kMusicErrDecode},
      {"no channels", WavFile().Chunk("fmt ", FormatWith(2, 0)).Data(pcm).Build(), kMusicErrDecode},
      {"rate 0",
       WavFile()
           .Chunk("fmt ",
                  [] {
                    auto b = FormatWith(4, 0);
                    b[6] = b[7] = 0;
                    return b;
                  }())
           .Data(pcm)
           .Build(),
       kMusicErrDecode},
      {"block align 0", WavFile().Chunk("fmt ", FormatWith(12, 0)).Data(pcm).Build(),
       kMusicErrDecode},
  };
  fixtures::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("bad.wav");
    fixtures::WriteFile(path, c.file);
    CMusicDataWave source;
    EXPECT_EQ(OpenWave(source, path), c.code);
  }
}

TEST(WaveBadInput, MissingFilesAndDirectoriesCannotBeOpened) {
  fixtures::TempDir dir;
  CMusicDataWave source;
  EXPECT_EQ(OpenWave(source, dir.File("missing.wav")), kMusicErrOpen);
  EXPECT_EQ(OpenWave(source, dir.path()), kMusicErrOpen);
}

TEST(WaveBadInput, FilesOf4GiBAreTooLargeBeforeAnyParsing) {
  fixtures::TempDir dir;
  const std::string path = dir.File("huge.wav");
  const Bytes header = WavFile().Format(kCd).Data({}, 0xFFFFFF00u).Build();
  fixtures::WriteFile(path, header);
  ASSERT_EQ(truncate(path.c_str(), 0x100000000LL), 0);  // sparse
  CMusicDataWave source;
  EXPECT_EQ(OpenWave(source, path), kMusicErrTooLarge);

  ASSERT_EQ(truncate(path.c_str(), 0xFFFFFFFFLL), 0);  // one byte less is still a WAVE file
  EXPECT_EQ(OpenWave(source, path), kMusicOk);
  EXPECT_EQ(InfoOf(source).totalBytes, 0xFFFFFF00u);
}

TEST(WaveBadInput, DataSizesPastTheEndAreCutToWhatTheFileHolds) {
  const Bytes pcm = fixtures::AudioPattern(3 * 2352 + 100);
  fixtures::TempDir dir;
  for (std::uint32_t declared : {0xFFFFFFFFu, 0x80000000u, 3u * 2352 + 104}) {
    SCOPED_TRACE(declared);
    const std::string path = dir.File("stream.wav");
    WavFile().Format(kCd).Data(pcm, declared).Write(path);
    CMusicDataWave source;
    ASSERT_EQ(OpenWave(source, path), kMusicOk);
    const TrackInfo info = InfoOf(source);
    EXPECT_EQ(info.totalBytes, pcm.size());
    EXPECT_EQ(info.length, 4u);
    EXPECT_EQ(ReadToEnd(source).bytes, pcm);
    void* data = nullptr;
    std::uint32_t size = 0;
    source.SetPlayRange(0, info.end, 0);
    ASSERT_EQ(source.ReadAll(&data, &size), kMusicOk);
    EXPECT_EQ(size, pcm.size());
    source.FreeBuffer(data);
  }
}

// 60 MB of 8-bit mono at 1 Hz: 4.5 * 10^9 CD frames, more than the length
// field holds. It stops at the largest length instead of wrapping.
TEST(WaveBadInput, ALengthBeyondTheRecordStopsAtItsLargestValue) {
  fixtures::TempDir dir;
  const std::string path = dir.File("slow.wav");
  constexpr std::uint32_t kData = 60'000'000;
  WavFile().Format({1, 1, 1, 8}).Data(Bytes(16), kData).Write(path);
  ASSERT_EQ(truncate(path.c_str(), 44 + kData), 0);  // sparse: the data are really there
  CMusicDataWave source;
  ASSERT_EQ(OpenWave(source, path), kMusicOk);
  const TrackInfo info = InfoOf(source);
  EXPECT_EQ(info.totalBytes, kData);
  EXPECT_EQ(info.length, 0xFFFFFFFFu);
  EXPECT_EQ(info.end, 0xFFFFFFFEu);
}

TEST(WaveBadInput, MalformedTagsAreIgnoredAndTheAudioStillPlays) {
  const Bytes pcm = fixtures::AudioPattern(2352);
  auto tagWithFrame = [](std::uint32_t frameSize, std::size_t bodyBytes) {
    Bytes tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    const std::size_t size = 10 + bodyBytes;
    tag[8] = static_cast<std::uint8_t>(size >> 7);
    tag[9] = static_cast<std::uint8_t>(size & 0x7F);
    const Bytes header = {'T',
                          'I',
                          'T',
                          '2',
                          static_cast<std::uint8_t>(frameSize >> 24),
                          static_cast<std::uint8_t>(frameSize >> 16),
                          static_cast<std::uint8_t>(frameSize >> 8),
                          static_cast<std::uint8_t>(frameSize),
                          0,
                          0};
    tag.insert(tag.end(), header.begin(), header.end());
    tag.resize(tag.size() + bodyBytes, 'x');
    return tag;
  };
  // The damaged chunk comes first, so a tag walk that lost its way would also
  // lose the format or the data.
  auto damaged = [&](const std::string& id, Bytes body, std::optional<std::uint32_t> size = {}) {
    return WavFile().Chunk(id, std::move(body), size).Format(kCd).Data(pcm);
  };
  const struct {
    const char* name;
    WavFile file;
    std::wstring title;
  } cases[] = {
      {"frame larger than the tag", damaged("id3 ", tagWithFrame(0xFFFFFFF0u, 8)), L""},
      {"frame of size 0", damaged("id3 ", tagWithFrame(0, 8)), L""},
      {"tag size larger than the chunk",
       damaged("id3 ", {'I', 'D', '3', 3, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F, 'T', 'I', 'T', '2'}), L""},
      {"chunk size past the file",
       WavFile().Format(kCd).Data(pcm).Chunk("id3 ", {'I', 'D', '3'}, 0x7FFFFFF0u), L""},
      {"not an ID3 tag", damaged("id3 ", {'X', 'Y', 'Z', 3, 0, 0, 0, 0, 0, 0, 0, 0}), L""},
      {"frame header cut by the tag end",
       damaged("id3 ", {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 4, 'T', 'I', 'T', '2'}), L""},
      {"LIST without items", damaged("LIST", {'I', 'N', 'F', 'O'}), L""},
      {"LIST item past the list",
       damaged("LIST", {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 0xFF, 0xFF, 0, 0, 'a'}), L"a"},
  };
  fixtures::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("tags.wav");
    c.file.Write(path);
    CMusicDataWave source;
    ASSERT_EQ(OpenWave(source, path), kMusicOk);
    EXPECT_EQ(InfoOf(source).title, c.title);
    EXPECT_EQ(ReadToEnd(source).bytes, pcm);
  }
}

}  // namespace
