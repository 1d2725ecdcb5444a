#include "plugins/common/FileInfoDsd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "sources/Id3Frames.h"

CFileInfo_DSD::~CFileInfo_DSD() {
  Discard();
}

int32_t CFileInfo_DSD::NameA(char* buffer, int32_t length) {
  return ppi::CopyNarrow(identity_.name, buffer, length);
}
int32_t CFileInfo_DSD::ExtensionsA(char* buffer, int32_t length) {
  return ppi::CopyNarrow(identity_.extensions, buffer, length);
}
int32_t CFileInfo_DSD::VersionA(char* buffer, int32_t length) {
  return ppi::CopyNarrow(identity_.version, buffer, length);
}
int32_t CFileInfo_DSD::NameW(char16_t* buffer, int32_t length) {
  return ppi::CopyWideAscii(identity_.name, buffer, length);
}
int32_t CFileInfo_DSD::ExtensionsW(char16_t* buffer, int32_t length) {
  return ppi::CopyWideAscii(identity_.extensions, buffer, length);
}
int32_t CFileInfo_DSD::VersionW(char16_t* buffer, int32_t length) {
  return ppi::CopyWideAscii(identity_.version, buffer, length);
}
int32_t CFileInfo_DSD::Alignment(int32_t* frames) {
  if (identity_.alignmentFrames != 0) *frames = identity_.alignmentFrames;
  return PPI_OK;
}

int32_t CFileInfo_DSD::TagDictionary(const void** dictionary) {
  *dictionary = &tags_.dictionary;
  return PPI_OK;
}

int32_t CFileInfo_DSD::ParseHeaders() {
  return PPI_OK;
}
int32_t CFileInfo_DSD::ReadDop(void**, uint32_t*) {
  return PPI_OK;
}
int32_t CFileInfo_DSD::ReadRawWords(void**, uint32_t*) {
  return PPI_OK;
}

void CFileInfo_DSD::Discard() {
  ReleaseData();
  std::free(std::exchange(spare_, nullptr));
  spareSize_ = 0;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  memoryStart_ = memoryEnd_ = nullptr;
  position_ = 0;
  source_ = Source::kNone;
  totalFileSize_ = 0;
  dataFound_ = false;
  dataOffset_ = 0;
  dataBytes_ = 0;
  heldBytes_ = 0;
  first_ = last_ = count_ = 0;
  samplingFrequency_ = 0;
  channels_ = 0;
  channelMask_ = 0;
  tags_.Clear();
}

int32_t CFileInfo_DSD::OpenFile(const char16_t* path) {
  Discard();
  const int fd = ::open(ppi::Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return PPI_E_OPEN;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return PPI_E_OPEN;
  }
  fd_ = fd;
  source_ = Source::kFile;
  return ParseHeaders();
}

int32_t CFileInfo_DSD::OpenMemory(const void* image, std::size_t size) {
  Discard();
  source_ = Source::kMemory;
  memoryStart_ = static_cast<const std::uint8_t*>(image);
  memoryEnd_ = memoryStart_ + size;
  return ParseHeaders();
}

std::uint64_t CFileInfo_DSD::SourceSize() const {
  if (source_ == Source::kMemory) return static_cast<std::uint64_t>(memoryEnd_ - memoryStart_);
  struct stat st {};
  if (fd_ < 0 || fstat(fd_, &st) != 0) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

void CFileInfo_DSD::Seek(std::uint64_t position) {
  position_ = position;
}

std::int64_t CFileInfo_DSD::ReadSome(void* destination, std::size_t count) {
  if (source_ == Source::kMemory) {
    const std::uint64_t size = SourceSize();
    if (position_ >= size || count > size - position_) return -1;
    std::memcpy(destination, memoryStart_ + position_, count);
    position_ += count;
    return static_cast<std::int64_t>(count);
  }
  if (fd_ < 0) return -1;
  auto* out = static_cast<std::uint8_t*>(destination);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(position_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  position_ += done;
  return done == 0 && count > 0 ? -1 : static_cast<std::int64_t>(done);
}

int32_t CFileInfo_DSD::FrameCount(int32_t* count) const {
  if (!IsOpen() || (mode_ != kModeDop && mode_ != kModeRawWords)) return PPI_E_FAIL;
  // A claim no frame count can express refuses the file; otherwise what
  // the file holds counts.
  const std::uint64_t claimed = channels_ == 0 ? 0 : dataBytes_ / channels_ / bytesPerFrame_;
  if (claimed > static_cast<std::uint64_t>(std::numeric_limits<int32_t>::max())) return PPI_E_FAIL;
  *count = static_cast<int32_t>(channels_ == 0 ? 0 : heldBytes_ / channels_ / bytesPerFrame_);
  return PPI_OK;
}

int32_t CFileInfo_DSD::DataSize(int32_t* bytes) const {
  if (bytesPerFrame_ != 2 && bytesPerFrame_ != 4) return PPI_E_FAIL;
  const std::uint64_t size = dataBytes_ * (4 / bytesPerFrame_);
  if (dataBytes_ > std::numeric_limits<uint32_t>::max() ||
      size > std::numeric_limits<uint32_t>::max()) {
    return PPI_E_TOO_LARGE;
  }
  *bytes = static_cast<int32_t>(static_cast<uint32_t>(heldBytes_ * (4 / bytesPerFrame_)));
  return PPI_OK;
}

void CFileInfo_DSD::Format(WAVEFORMATEX* format) const {
  format->wFormatTag = 1;
  format->nChannels = channels_;
  format->nSamplesPerSec = samplingFrequency_ / (bytesPerFrame_ * 8);
  format->nBlockAlign = static_cast<uint16_t>(4 * channels_);
  format->nAvgBytesPerSec = format->nBlockAlign * format->nSamplesPerSec;
  format->wBitsPerSample = mode_ == kModeDop ? 24 : 32;
  format->cbSize = 0;
}

int32_t CFileInfo_DSD::TitleArtist(void* title, int32_t titleBytes, int32_t* titleEncoding,
                                   void* artist, int32_t artistBytes,
                                   int32_t* artistEncoding) const {
  return tags_.CopyTitleArtist(title, titleBytes, titleEncoding, artist, artistBytes,
                               artistEncoding);
}

void CFileInfo_DSD::SetRange(int32_t first, int32_t last) {
  first_ = first;
  last_ = last;
  count_ = last - first + 1;
}

void CFileInfo_DSD::SetMode(OutputMode mode) {
  mode_ = mode;
  bytesPerFrame_ = mode == kModeDop ? 2 : 4;
}

void CFileInfo_DSD::ReleaseData() {
  // Kept for the next read, which mostly wants the same size: a fresh
  // buffer of megabytes costs a page fault every 4 KiB.
  if (delivered_ != nullptr) {
    std::free(spare_);
    spare_ = delivered_;
    spareSize_ = deliveredSize_;
  }
  delivered_ = nullptr;
  deliveredSize_ = 0;
}

std::uint8_t* CFileInfo_DSD::NewDeliveredBuffer(std::size_t size) {
  const std::size_t bytes = size == 0 ? 1 : size;
  if (spare_ != nullptr && spareSize_ >= bytes && spareSize_ / 2 <= bytes) {
    delivered_ = std::exchange(spare_, nullptr);
  } else {
    std::free(std::exchange(spare_, nullptr));
    delivered_ = std::malloc(bytes);
  }
  spareSize_ = 0;
  deliveredSize_ = delivered_ != nullptr ? static_cast<std::uint32_t>(bytes) : 0;
  return static_cast<std::uint8_t*>(delivered_);
}

int32_t CFileInfo_DSD::BeginRange(std::int64_t* frames, std::uint8_t** out,
                                  std::uint64_t* bufferSize) {
  const std::uint64_t channels = channels_;
  if (channels == 0 || count_ <= 0 || first_ < 0) return PPI_E_FAIL;
  // The buffer is never larger than the data the file holds.
  const std::uint64_t held = heldBytes_ / channels / bytesPerFrame_;
  if (static_cast<std::uint64_t>(first_) >= held) return PPI_E_FAIL;
  *frames = static_cast<std::int64_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(count_), held - first_));
  *bufferSize = channels * static_cast<std::uint64_t>(*frames) * 4;
  if (*bufferSize > std::numeric_limits<uint32_t>::max()) return PPI_E_FAIL;
  *out = NewDeliveredBuffer(*bufferSize);
  return *out == nullptr ? PPI_E_MEMORY : PPI_OK;
}

void CFileInfo_DSD::ReadId3Tag(std::uint64_t offset) {
  const std::uint64_t sourceSize = SourceSize();
  std::uint8_t header[id3::kTagHeaderBytes];
  Seek(offset);
  if (!ReadExact(header, id3::kTagHeaderBytes)) return;
  const id3::TagHeader tag = id3::ParseTagHeader(header);
  if (!tag.present || tag.layout == nullptr || tag.layout->majorVersion < 3) return;
  const id3::FrameLayout& layout = *tag.layout;
  const std::uint8_t version = layout.majorVersion;
  std::uint64_t remaining = tag.size;
  std::uint64_t position = offset + 10;  // where the frames begin

  if (header[5] & 0x40) {  // extended header
    std::uint8_t size[4];
    if (!ReadExact(size, 4)) return;
    if (version == 3) {
      const std::uint32_t extendedSize = id3::BigEndian(size, 4);
      if (extendedSize != 6 && extendedSize != 10) return;
      std::uint8_t extended[10];
      if (!ReadExact(extended, extendedSize)) return;
      const std::uint64_t padding = id3::BigEndian(extended + 2, 4);
      if (padding + 4 + extendedSize > remaining) return;  // would underflow: no tags
      remaining -= padding + 4 + extendedSize;
      position += 4 + extendedSize;
    } else {
      const std::uint32_t extendedSize = id3::SyncSafe32(size);
      if (extendedSize < 4 || extendedSize > remaining) return;
      // Skipped unread, so its size (up to 256 MiB) is only checked
      // against the file, never allocated.
      if (position + extendedSize > sourceSize) return;
      remaining -= extendedSize;
      position += extendedSize;
    }
  }

  struct Wanted {
    std::string_view id;
    ppi::TagText* text;
    bool found;
  } wanted[] = {{layout.title, &tags_.title, false},
                {layout.artist, &tags_.artist, false},
                {layout.album, &tags_.album, false},
                {layout.track, &tags_.track, false}};
  // Compressed, encrypted and grouped frames hold no plain text.
  const std::uint8_t skipFlags = version == 3 ? 0x80 | 0x40 | 0x20 : 0x08 | 0x04 | 0x40;
  // A tag never reaches past the end of the file, whatever its size says.
  if (position >= sourceSize) return;
  remaining = std::min(remaining, sourceSize - position);

  const auto readHeader = [this](std::uint64_t at, std::uint8_t* bytes, std::size_t count) {
    Seek(at);
    return ReadExact(bytes, count);
  };
  std::size_t left = std::size(wanted);
  id3::WalkFrames(position, position + remaining, layout, readHeader, [&](const id3::Frame& frame) {
    for (auto& w : wanted) {
      if (frame.id != w.id) continue;
      if (!w.found) --left;
      w.found = true;
      const bool flagged = (frame.flags & skipFlags) != 0;
      if (flagged || frame.size == 0 || !w.text->bytes.empty()) break;
      std::string body(static_cast<std::size_t>(frame.size), '\0');
      Seek(frame.bodyOffset);
      if (!ReadExact(body.data(), body.size())) return false;
      w.text->encoding = static_cast<std::uint8_t>(body[0]);
      w.text->bytes = body.substr(1) + std::string(2, '\0');
      break;
    }
    return left > 0;
  });
}
