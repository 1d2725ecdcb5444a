#include "sources/MusicDataMP3.h"

#include <algorithm>
#include <cmath>

#include "platform/StringTable.h"
#include "sources/BuiltInSources.h"
#include "sources/Mp3Stream.h"

namespace {

constexpr double kGaplessOffThreshold = -96.0;
constexpr std::uint64_t kMaxDecodedBytes = 0xFFFFFFFFull;

TrackInfo EmptyMp3Info() {
  TrackInfo info;
  info.type = kMp3SourceKind.type;
  info.formatName = kMp3SourceKind.formatName;
  return info;
}

}  // namespace

CMusicDataMP3::CMusicDataMP3()
    : info_(EmptyMp3Info()), typeDescription_(platform::LoadResString(platform::IDS_FILETYPE_MP3)) {
  fileType_ = {typeDescription_.c_str(), kMp3SourceKind.extension.data()};
}

CMusicDataMP3::~CMusicDataMP3() = default;

const FileTypeInfo* CMusicDataMP3::GetFileType() {
  return &fileType_;
}

std::int32_t CMusicDataMP3::Open(const MusicOpenParams& params) {
  stream_.reset();
  info_ = EmptyMp3Info();
  const double threshold = params.gapless ? params.threshold : kGaplessOffThreshold;
  auto stream = std::make_unique<CMp3Stream>();
  if (!stream->Open(params.path, threshold)) return kMusicErrOpen;

  const std::uint64_t total = stream->TotalSamples();
  const std::uint32_t rate = stream->SampleRate();
  const std::uint32_t blockAlign = stream->BlockAlign();
  if (total > kMaxDecodedBytes / blockAlign) return kMusicErrTooLarge;

  WAVEFORMATEX& format = info_.format;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = static_cast<std::uint16_t>(stream->Channels());
  format.nSamplesPerSec = rate;
  format.nBlockAlign = static_cast<std::uint16_t>(blockAlign);
  format.nAvgBytesPerSec = rate * blockAlign;
  format.wBitsPerSample = static_cast<std::uint16_t>(8 * stream->BytesPerSample());
  format.cbSize = 0;
  info_.totalBytes = static_cast<std::uint32_t>(total * blockAlign);
  info_.length =
      static_cast<std::uint32_t>(std::ceil(static_cast<double>(total) / rate * kFramesPerSecond));
  info_.start = 0;
  info_.end = std::max<std::uint32_t>(info_.length, 1) - 1;

  const Mp3TagTexts& tags = stream->Tags();
  info_.title = tags.title;
  info_.artist = tags.artist;
  info_.album = tags.album;
  info_.trackNumber = tags.trackNumber;

  stream_ = std::move(stream);
  // Without a range of its own the track plays whole.
  first_ = 0;
  last_ = info_.end;
  offset_ = 0;
  seekPending_ = true;
  return kMusicOk;
}

std::int32_t CMusicDataMP3::GetTrackCount(std::int32_t* count) {
  if (count == nullptr) return kMusicErrParam;
  *count = 1;
  return kMusicOk;
}

std::int32_t CMusicDataMP3::GetTrackInfo(std::int32_t index, TrackInfo* info) {
  if (index != 0 || info == nullptr) return kMusicErrParam;
  CopyReportedFields(info_, *info, false);
  info->album = info_.album;
  info->trackNumber = info_.trackNumber;
  return kMusicOk;
}

std::int32_t CMusicDataMP3::SetPlayRange(std::uint32_t first, std::uint32_t last,
                                         std::uint32_t offset) {
  if (!stream_) return kMusicErrOpen;
  first_ = first;
  last_ = last;
  offset_ = offset;
  seekPending_ = true;
  return kMusicOk;
}

std::int32_t CMusicDataMP3::Read(void** data, std::uint32_t* size) {
  if (data == nullptr || size == nullptr) return kMusicErrParam;
  *data = nullptr;
  *size = 0;
  if (!stream_) return kMusicErrOpen;
  if (stream_->Failed()) return kMusicErrRead;

  const std::uint64_t rate = stream_->SampleRate();
  const std::uint64_t total = stream_->TotalSamples();
  if (seekPending_) {
    const std::uint64_t target = (std::uint64_t{first_} + offset_) * rate / kFramesPerSecond;
    // A start at or past the end of the track has nothing to deliver; there
    // is no frame there to seek to.
    if (target >= total) return kMusicEndOfRange;
    if (!stream_->Seek(target)) return kMusicErrOpen;
    seekPending_ = false;
  }

  const std::uint64_t current = stream_->CurrentSample();
  const std::uint64_t rangeEnd = (std::uint64_t{last_} + 1) * rate / kFramesPerSecond;
  const std::uint64_t n = std::min(
      {rangeEnd > current ? rangeEnd - current : 0, rate, total > current ? total - current : 0});
  if (n == 0) return kMusicEndOfRange;

  const std::uint32_t blockAlign = stream_->BlockAlign();
  const auto bytes = static_cast<std::uint32_t>(n * blockAlign);
  void* buffer = AllocBuffer(bytes);
  if (buffer == nullptr) return kMusicErrMemory;
  const std::int64_t got = stream_->Read({static_cast<std::uint8_t*>(buffer), bytes}, n);
  if (got <= 0) {
    FreeBuffer(buffer);
    return got < 0 ? kMusicErrRead : kMusicEndOfRange;
  }
  *data = buffer;
  *size = static_cast<std::uint32_t>(got) * blockAlign;
  return kMusicOk;
}

std::int32_t CMusicDataMP3::ReadAll(void** data, std::uint32_t* size) {
  if (data != nullptr) *data = nullptr;
  if (size != nullptr) *size = 0;
  return kMusicErrParam;
}
