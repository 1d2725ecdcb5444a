#include "sources/MusicDataWave.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/CodePage.h"
#include "platform/File.h"
#include "platform/StringTable.h"
#include "sources/BuiltInSources.h"
#include "sources/Id3Frames.h"
#include "sources/Id3Text.h"

using platform::FourCC;
using platform::RiffChunk;
using platform::RiffSearch;

namespace {

constexpr std::uint32_t kWave = FourCC('W', 'A', 'V', 'E');
constexpr std::uint32_t kFmt = FourCC('f', 'm', 't', ' ');
constexpr std::uint32_t kData = FourCC('d', 'a', 't', 'a');
constexpr std::uint32_t kId3 = FourCC('i', 'd', '3', ' ');
constexpr std::uint32_t kList = FourCC('L', 'I', 'S', 'T');
constexpr std::uint32_t kArtist = FourCC('I', 'A', 'R', 'T');
constexpr std::uint32_t kTitle = FourCC('I', 'N', 'A', 'M');

constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFull;
constexpr std::size_t kFormatChunkBytes = 40;
constexpr std::size_t kMinFormatBytes = 16;
constexpr std::size_t kMaxInfoTextBytes = 512;

// GUID tails shared by the PCM and IEEE float sub-formats of extensible files.
constexpr std::array<std::uint8_t, 16> kSubFormatPcm = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr std::array<std::uint8_t, 16> kSubFormatFloat = {
    0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

TrackInfo EmptyWaveInfo() {
  TrackInfo info;
  info.type = kWaveSourceKind.type;
  info.formatName = kWaveSourceKind.formatName;
  return info;
}

}  // namespace

CMusicDataWave::CMusicDataWave()
    : info_(EmptyWaveInfo()),
      typeDescription_(platform::LoadResString(platform::IDS_FILETYPE_WAVE)) {
  fileType_ = {typeDescription_.c_str(), kWaveSourceKind.extension.data()};
}

CMusicDataWave::~CMusicDataWave() = default;

const FileTypeInfo* CMusicDataWave::GetFileType() {
  return &fileType_;
}

std::int32_t CMusicDataWave::Open(const MusicOpenParams& params) {
  info_ = EmptyWaveInfo();
  info_.path = params.path;
  dataOffset_ = 0;
  dataSize_ = 0;
  file_.Close();

  if (!file_.Open(params.path)) return kMusicErrOpen;
  if (file_.FileSize() > kMaxFileSize) {
    file_.Close();
    return kMusicErrTooLarge;
  }

  const std::int32_t result = ParseFile();
  if (result != kMusicOk) file_.Close();
  return result;
}

std::int32_t CMusicDataWave::ParseFile() {
  RiffChunk riff;
  if (!file_.Descend(riff, nullptr, RiffSearch::kFindRiff) || riff.type != kWave) {
    return kMusicErrDecode;
  }
  ReadTags(riff);

  file_.Seek(0);
  if (!file_.Descend(riff, nullptr, RiffSearch::kFindRiff) || riff.type != kWave) {
    return kMusicErrDecode;
  }
  if (const std::int32_t result = ReadFormat(riff); result != kMusicOk) return result;

  RiffChunk chunk;
  for (;;) {
    if (!file_.Descend(chunk, &riff, RiffSearch::kNext)) return kMusicErrDecode;
    if (chunk.id == kData) break;
    file_.Ascend(chunk);
  }
  // Writers that never finished a file leave a size (often 0xFFFFFFFF) beyond
  // what it holds; only the bytes really there are audio.
  const std::uint64_t available =
      file_.FileSize() > chunk.dataOffset ? file_.FileSize() - chunk.dataOffset : 0;
  dataSize_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk.size, available));
  dataOffset_ = chunk.dataOffset;
  info_.totalBytes = dataSize_;

  const WAVEFORMATEX& format = info_.format;
  bytesPerFrame_ = std::max<std::uint32_t>(format.nAvgBytesPerSec / kFramesPerSecond, 1);
  const double frames =
      std::ceil(static_cast<double>(dataSize_) * kFramesPerSecond /
                (static_cast<double>(format.nBlockAlign) * format.nSamplesPerSec));
  // Hours of data at a rate of a few hertz need more frames than the record
  // holds: the length stops at its largest value.
  constexpr double kLongest = std::numeric_limits<std::uint32_t>::max();
  info_.length = frames >= kLongest ? std::numeric_limits<std::uint32_t>::max()
                 : frames > 0       ? static_cast<std::uint32_t>(frames)
                                    : 0;
  info_.start = 0;
  info_.end = std::max<std::uint32_t>(info_.length, 1) - 1;

  lastFrame_ = info_.end;
  currentFrame_ = 0;
  consumed_ = 0;
  file_.Seek(dataOffset_);
  return kMusicOk;
}

std::int32_t CMusicDataWave::ReadFormat(const RiffChunk& riff) {
  RiffChunk fmt;
  fmt.id = kFmt;
  if (!file_.Descend(fmt, &riff, RiffSearch::kFindChunk)) return kMusicErrDecode;

  std::array<std::uint8_t, kFormatChunkBytes> bytes{};
  const std::size_t wanted = std::min<std::size_t>(fmt.size, bytes.size());
  if (wanted < kMinFormatBytes ||
      file_.Read(bytes.data(), wanted) != static_cast<std::int64_t>(wanted)) {
    return kMusicErrDecode;
  }
  WAVEFORMATEX& format = info_.format;
  std::memcpy(&format, bytes.data(), sizeof format);
  if (wanted < sizeof format) format.cbSize = 0;
  if (format.nChannels == 0 || format.nBlockAlign == 0 || format.nSamplesPerSec == 0) {
    return kMusicErrDecode;
  }
  if (format.wFormatTag == WAVE_FORMAT_EXTENSIBLE && format.cbSize >= 22 &&
      wanted >= kFormatChunkBytes) {
    const std::uint8_t* subFormat = bytes.data() + 24;
    if (std::equal(kSubFormatPcm.begin(), kSubFormatPcm.end(), subFormat)) {
      format.wFormatTag = WAVE_FORMAT_PCM;
    } else if (std::equal(kSubFormatFloat.begin(), kSubFormatFloat.end(), subFormat)) {
      format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    }
  }
  file_.Ascend(fmt);
  return kMusicOk;
}

void CMusicDataWave::ReadTags(const RiffChunk& riff) {
  const std::uint64_t start = file_.Tell();
  ReadId3Chunk(riff);
  file_.Seek(start);
  ReadListInfo(riff);
}

void CMusicDataWave::ReadId3Chunk(const RiffChunk& riff) {
  RiffChunk chunk;
  chunk.id = kId3;
  if (!file_.Descend(chunk, &riff, RiffSearch::kFindChunk)) return;
  // Never allocate more than the file can hold, whatever the size field says.
  if (chunk.dataOffset + chunk.size > file_.FileSize() || chunk.size < 10) return;
  std::vector<std::uint8_t> tag(chunk.size);
  if (file_.Read(tag.data(), tag.size()) != static_cast<std::int64_t>(tag.size())) return;
  const id3::TagHeader header = id3::ParseTagHeader(tag.data());
  if (!header.present) return;
  const std::uint64_t tagEnd = std::uint64_t{header.size} + id3::kTagHeaderBytes;
  if (tagEnd > chunk.size) return;

  // A version we do not know is read as 2.3, the commonest.
  const id3::FrameLayout& layout = header.layout != nullptr ? *header.layout : id3::kLayoutV23;
  const auto readHeader = [&tag](std::uint64_t at, std::uint8_t* bytes, std::size_t count) {
    std::memcpy(bytes, tag.data() + at, count);  // the walk stays below tagEnd
    return true;
  };
  id3::WalkFrames(id3::kTagHeaderBytes, tagEnd, layout, readHeader, [&](const id3::Frame& frame) {
    std::wstring* field = nullptr;
    if (frame.id == layout.title && info_.title.empty()) field = &info_.title;
    if (frame.id == layout.artist && info_.artist.empty()) field = &info_.artist;
    const std::uint8_t* body = tag.data() + frame.bodyOffset;
    if (field != nullptr && frame.size > 0) {
      *field = DecodeId3Text(body + 1, static_cast<std::size_t>(frame.size - 1), body[0]);
    }
    return true;
  });
}

void CMusicDataWave::ReadListInfo(const RiffChunk& riff) {
  RiffChunk list;
  list.id = kList;
  if (!file_.Descend(list, &riff, RiffSearch::kFindChunk)) return;
  const std::uint64_t listData = file_.Tell();
  if (info_.artist.empty()) info_.artist = ReadInfoText(list, kArtist);
  file_.Seek(listData);
  if (info_.title.empty()) info_.title = ReadInfoText(list, kTitle);
  file_.Seek(listData);
}

std::wstring CMusicDataWave::ReadInfoText(const RiffChunk& list, std::uint32_t id) {
  RiffChunk item;
  item.id = id;
  if (!file_.Descend(item, &list, RiffSearch::kFindChunk)) return {};
  // An item never reaches past its list, whatever its size field says.
  const std::uint64_t listEnd = list.dataOffset + list.size;
  const std::uint64_t inList = listEnd > item.dataOffset ? listEnd - item.dataOffset : 0;
  std::string text(std::min<std::uint64_t>({item.size, inList, kMaxInfoTextBytes}), '\0');
  const std::int64_t got = file_.Read(text.data(), text.size());
  if (got <= 0) return {};
  text.resize(static_cast<std::size_t>(got));
  text.resize(std::min(text.size(), text.find('\0')));
  if (text.empty()) return {};
  return platform::DecodeDetectedCodePage(text).value_or(std::wstring());
}

std::int32_t CMusicDataWave::GetTrackCount(std::int32_t* count) {
  if (count == nullptr) return kMusicErrParam;
  *count = 1;
  return kMusicOk;
}

std::int32_t CMusicDataWave::GetTrackInfo(std::int32_t index, TrackInfo* info) {
  if (index != 0 || info == nullptr) return kMusicErrParam;
  CopyReportedFields(info_, *info, true);
  return kMusicOk;
}

std::int32_t CMusicDataWave::SetPlayRange(std::uint32_t first, std::uint32_t last,
                                          std::uint32_t offset) {
  const std::uint32_t current = RangeStartFrame(first, last, offset);
  lastFrame_ = last;
  currentFrame_ = current;

  const std::uint64_t position =
      std::min<std::uint64_t>(WholeBlocks(std::uint64_t{bytesPerFrame_} * current), dataSize_);
  file_.Seek(dataOffset_ + position);
  consumed_ = static_cast<std::uint32_t>(position);
  return kMusicOk;
}

std::uint64_t CMusicDataWave::BytesLeftInRange() const {
  if (consumed_ >= dataSize_ || currentFrame_ > lastFrame_) return 0;
  const std::uint64_t inRange = (std::uint64_t{lastFrame_} - currentFrame_ + 1) * bytesPerFrame_;
  return WholeBlocks(std::min<std::uint64_t>(inRange, dataSize_ - consumed_));
}

std::uint64_t CMusicDataWave::WholeBlocks(std::uint64_t bytes) const {
  // Whole sample frames only: a cut sample would shift every later byte.
  const std::uint64_t blockAlign = std::max<std::uint16_t>(info_.format.nBlockAlign, 1);
  return bytes / blockAlign * blockAlign;
}

std::int32_t CMusicDataWave::ReadIntoNewBuffer(std::uint64_t count, void** data,
                                               std::uint32_t* size) {
  void* buffer = AllocBuffer(static_cast<std::uint32_t>(count));
  if (buffer == nullptr) return kMusicErrMemory;
  const std::int64_t got = file_.Read(buffer, static_cast<std::size_t>(count));
  if (got <= 0) {
    FreeBuffer(buffer);
    return got == 0 ? kMusicEndOfRange : kMusicErrRead;
  }
  consumed_ += static_cast<std::uint32_t>(got);
  currentFrame_ += static_cast<std::uint32_t>(got) / bytesPerFrame_;
  *data = buffer;
  *size = static_cast<std::uint32_t>(got);
  return kMusicOk;
}

std::int32_t CMusicDataWave::Read(void** data, std::uint32_t* size) {
  if (data == nullptr || size == nullptr) return kMusicErrParam;
  *data = nullptr;
  *size = 0;
  const std::uint64_t n =
      WholeBlocks(std::min<std::uint64_t>(BytesLeftInRange(), info_.format.nAvgBytesPerSec));
  if (n == 0) return kMusicEndOfRange;
  return ReadIntoNewBuffer(n, data, size);
}

std::int32_t CMusicDataWave::ReadAll(void** data, std::uint32_t* size) {
  if (data == nullptr || size == nullptr) return kMusicErrParam;
  *data = nullptr;
  *size = 0;
  const std::uint64_t n = BytesLeftInRange();
  if (n == 0) return kMusicEndOfRange;
  return ReadIntoNewBuffer(n, data, size);
}
