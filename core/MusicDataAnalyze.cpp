#include "core/MusicDataAnalyze.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "sources/SourceFactory.h"

namespace core {

std::uint32_t ExpectedTrackBytes(std::uint32_t totalBytes, std::uint32_t length,
                                 std::uint16_t blockAlign, std::uint32_t start, std::uint32_t end,
                                 std::uint32_t position) {
  const std::uint64_t first = std::uint64_t{start} + position;
  // A position past the end leaves nothing, rather than wrapping round to
  // an enormous frame count.
  if (first > end) return 0;
  const std::uint64_t frames = end - first + 1;
  const std::uint64_t align = std::max<std::uint16_t>(blockAlign, 1);
  const std::uint64_t bytes =
      std::uint64_t{totalBytes} * frames / std::max<std::uint32_t>(length, 1) / align * align;
  // A range longer than the track's length can give more than 32 bits hold;
  // saturate, so a size check never sees a small number instead.
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(bytes, std::numeric_limits<std::uint32_t>::max()));
}

CMusicDataAnalyze::CMusicDataAnalyze(SourceMaker maker) : maker_(std::move(maker)) {
  if (!maker_) maker_ = &CreateSourceForType;
}

CMusicDataAnalyze::~CMusicDataAnalyze() {
  std::lock_guard lock(sourceLock_);
  source_.reset();
}

std::int32_t CMusicDataAnalyze::OpenTrack(const OpenTrackRequest& request) {
  std::lock_guard lock(sourceLock_);
  source_.reset();
  {
    std::lock_guard record(recordLock_);
    open_ = false;
  }
  if (request.type < kSourceTypeCdda || request.type > kSourceTypePlugin) return kMusicErrParam;
  std::unique_ptr<CMusicData> source = maker_(request.type, request.path, request.plugins);
  if (!source) return kMusicErrParam;

  MusicOpenParams params;
  params.path = request.path;
  params.gapless = request.gapless;
  params.threshold = request.threshold;
  const std::int32_t result = source->Open(params);
  if (result != kMusicOk) return result;

  TrackInfo track;
  const std::int32_t infoResult = source->GetTrackInfo(0, &track);
  if (infoResult != kMusicOk) return infoResult;
  std::int32_t dsd = 0, multiInstance = 0;
  const bool isDsd = source->IsDsd(&dsd) == kMusicOk && dsd != 0;
  const bool isMulti = source->IsMultiInstance(&multiInstance) == kMusicOk && multiInstance == 1;
  source_ = std::move(source);
  std::lock_guard record(recordLock_);
  open_ = true;
  isDsd_ = isDsd;
  multiInstance_ = isMulti;
  track_ = std::move(track);
  path_ = request.path;
  format_ = track_.format;
  rangeStart_ = track_.start;
  rangeEnd_ = track_.end;
  position_ = 0;
  return kMusicOk;
}

std::int32_t CMusicDataAnalyze::SetTrackRange(std::uint32_t position, std::uint32_t start,
                                              std::uint32_t end) {
  std::lock_guard lock(sourceLock_);
  if (!source_) return kMusicErrSequence;
  const std::int32_t result = source_->SetPlayRange(start, end, position);
  if (result == kMusicOk) {
    std::lock_guard record(recordLock_);
    position_ = position;
    rangeStart_ = start;
    rangeEnd_ = end;
  }
  return result;
}

std::int32_t CMusicDataAnalyze::Read(void** data, std::uint32_t* size) {
  std::lock_guard lock(sourceLock_);
  if (!source_) return kMusicErrSequence;
  const std::int32_t result = source_->Read(data, size);
  if (result == kMusicOk && (*data == nullptr || *size == 0)) {
    // A buffer handed out empty still goes back to its source.
    if (*data != nullptr) source_->FreeBuffer(*data);
    *data = nullptr;
    *size = 0;
    return kMusicEndOfRange;
  }
  return result;
}

void CMusicDataAnalyze::ReleaseChunk(void* data) {
  std::lock_guard lock(sourceLock_);
  if (source_ && data != nullptr) source_->FreeBuffer(data);
}

bool CMusicDataAnalyze::IsMultiInstance() const {
  std::lock_guard lock(recordLock_);
  return open_ && multiInstance_;
}

bool CMusicDataAnalyze::IsDsd() const {
  std::lock_guard lock(recordLock_);
  return open_ && isDsd_;
}

std::uint32_t CMusicDataAnalyze::ExpectedBytes() {
  std::lock_guard lock(sourceLock_);
  if (!source_) return 0;
  TrackInfo track;
  const bool read = source_->GetTrackInfo(0, &track) == kMusicOk;
  std::lock_guard record(recordLock_);
  if (!read) track = track_;
  return ExpectedTrackBytes(track.totalBytes, track.length, format_.nBlockAlign, rangeStart_,
                            rangeEnd_, position_);
}

bool CMusicDataAnalyze::IsOpen() const {
  std::lock_guard lock(recordLock_);
  return open_;
}

WAVEFORMATEX CMusicDataAnalyze::Format() const {
  std::lock_guard lock(recordLock_);
  return format_;
}

TrackInfo CMusicDataAnalyze::Track() const {
  std::lock_guard lock(recordLock_);
  return track_;
}

std::wstring CMusicDataAnalyze::Path() const {
  std::lock_guard lock(recordLock_);
  return path_;
}

std::uint32_t CMusicDataAnalyze::RangeStart() const {
  std::lock_guard lock(recordLock_);
  return rangeStart_;
}

std::uint32_t CMusicDataAnalyze::RangeEnd() const {
  std::lock_guard lock(recordLock_);
  return rangeEnd_;
}

std::uint32_t CMusicDataAnalyze::Position() const {
  std::lock_guard lock(recordLock_);
  return position_;
}

}  // namespace core
