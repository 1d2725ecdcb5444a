#include "sources/MusicData.h"

#include <utility>

#include "platform/PageBuffer.h"

void CopyReportedFields(const TrackInfo& from, TrackInfo& to, bool withLocation) {
  if (withLocation) {
    to.path = from.path;
    to.fileName = from.fileName;
  }
  to.type = from.type;
  to.formatName = from.formatName;
  to.totalBytes = from.totalBytes;
  to.title = from.title;
  to.artist = from.artist;
  to.format = from.format;
  to.length = from.length;
  to.start = from.start;
  to.end = from.end;
}

const FileTypeInfo* CMusicData::GetFileType() {
  return nullptr;
}

std::int32_t CMusicData::Open(const MusicOpenParams&) {
  return kMusicOk;
}

std::int32_t CMusicData::GetTrackCount(std::int32_t*) {
  return kMusicOk;
}

std::int32_t CMusicData::GetTrackInfo(std::int32_t, TrackInfo*) {
  return kMusicOk;
}

std::int32_t CMusicData::SetPlayRange(std::uint32_t, std::uint32_t, std::uint32_t) {
  return kMusicOk;
}

std::int32_t CMusicData::Read(void** data, std::uint32_t* size) {
  if (data != nullptr) *data = nullptr;
  if (size != nullptr) *size = 0;
  return kMusicOk;
}

std::int32_t CMusicData::ReadAll(void** data, std::uint32_t* size) {
  return CMusicData::Read(data, size);
}

void* CMusicData::AllocBuffer(std::uint32_t size) {
  return platform::AllocPages(size);
}

void CMusicData::FreeBuffer(void* buffer) {
  platform::FreePages(buffer);
}

std::int32_t CMusicData::IsDsd(std::int32_t* flag) {
  if (flag != nullptr) *flag = 0;
  return kMusicOk;
}

std::int32_t CMusicData::SetDsdPacking(std::int32_t) {
  return kMusicOk;
}

std::int32_t CMusicData::IsMultiInstance(std::int32_t* flag) {
  if (flag == nullptr) return kMusicErrParam;
  *flag = 1;
  return kMusicOk;
}

std::wstring CMusicData::OpenFailureReason() const {
  return {};
}

SourceBuffer& SourceBuffer::operator=(SourceBuffer&& other) noexcept {
  if (this != &other) {
    Reset();
    source_ = std::exchange(other.source_, nullptr);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void SourceBuffer::Reset() {
  if (source_ != nullptr && data_ != nullptr) source_->FreeBuffer(data_);
  source_ = nullptr;
  data_ = nullptr;
  size_ = 0;
}

std::uint32_t RangeStartFrame(std::uint32_t first, std::uint32_t last, std::uint32_t offset) {
  const std::uint64_t start = std::uint64_t{first} + offset;
  if (start < last) return static_cast<std::uint32_t>(start);
  return last > 0 ? last - 1 : 0;
}

std::int32_t ReadChunk(CMusicData& source, SourceBuffer& out) {
  void* data = nullptr;
  std::uint32_t size = 0;
  const std::int32_t result = source.Read(&data, &size);
  out = SourceBuffer(source, data, size);
  return result;
}
