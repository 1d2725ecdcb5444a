#include "plugins/dsf/FileInfoDsd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// File names cross the plug-in boundary as UTF-16; the file system takes UTF-8.
std::string Utf16ToUtf8(const char16_t* text) {
  std::string out;
  for (const char16_t* p = text; *p != 0; ++p) {
    char32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
      ++p;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

const char* const kEncodingNames[] = {"ENC_SYSTEM", "ENC_UTF-16LE_BOM", "ENC_UTF-16BE",
                                      "ENC_UTF-8"};

}  // namespace

CFileInfo_DSD::~CFileInfo_DSD() {
  Discard();
}

int32_t CFileInfo_DSD::CopyNarrow(const char* text, char* buffer, int32_t length) {
  if (buffer == nullptr || length <= 0) return PPI_E_ARGUMENT;
  std::memset(buffer, 0, static_cast<std::size_t>(length));
  const std::size_t size = std::strlen(text);
  if (static_cast<std::size_t>(length) <= size) return PPI_E_ARGUMENT;
  std::memcpy(buffer, text, size + 1);
  return PPI_OK;
}

int32_t CFileInfo_DSD::CopyWide(const char16_t* text, char16_t* buffer, int32_t length) {
  if (buffer == nullptr || length <= 0) return PPI_E_ARGUMENT;
  const std::size_t size = std::char_traits<char16_t>::length(text);
  if (static_cast<std::size_t>(length) <= size) return PPI_E_ARGUMENT;
  std::memcpy(buffer, text, (size + 1) * sizeof(char16_t));
  return PPI_OK;
}

int32_t CFileInfo_DSD::NameA(char* buffer, int32_t length) {
  return CopyNarrow("", buffer, length);
}
int32_t CFileInfo_DSD::ExtensionsA(char* buffer, int32_t length) {
  return CopyNarrow("", buffer, length);
}
int32_t CFileInfo_DSD::VersionA(char* buffer, int32_t length) {
  return CopyNarrow("", buffer, length);
}
int32_t CFileInfo_DSD::NameW(char16_t* buffer, int32_t length) {
  return CopyWide(u"", buffer, length);
}
int32_t CFileInfo_DSD::ExtensionsW(char16_t* buffer, int32_t length) {
  return CopyWide(u"", buffer, length);
}
int32_t CFileInfo_DSD::VersionW(char16_t* buffer, int32_t length) {
  return CopyWide(u"", buffer, length);
}
int32_t CFileInfo_DSD::Alignment(int32_t*) {
  return PPI_OK;
}

int32_t CFileInfo_DSD::TagDictionary(const void** dictionary) {
  *dictionary = &tags_;
  return PPI_OK;
}

void CFileInfo_DSD::ParseHeaders() {}
int32_t CFileInfo_DSD::ReadDop(void**, uint32_t*) {
  return PPI_OK;
}
int32_t CFileInfo_DSD::ReadRawWords(void**, uint32_t*) {
  return PPI_OK;
}

void CFileInfo_DSD::Discard() {
  ReleaseData();
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
  title_ = artist_ = album_ = track_ = TagText{};
  tags_.clear();
}

int32_t CFileInfo_DSD::OpenFile(const char16_t* path) {
  Discard();
  const int fd = ::open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return PPI_E_OPEN;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return PPI_E_OPEN;
  }
  fd_ = fd;
  source_ = Source::kFile;
  ParseHeaders();
  return PPI_OK;
}

int32_t CFileInfo_DSD::OpenMemory(const void* image, std::size_t size) {
  Discard();
  source_ = Source::kMemory;
  memoryStart_ = static_cast<const std::uint8_t*>(image);
  memoryEnd_ = memoryStart_ + size;
  ParseHeaders();
  return PPI_OK;
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
  *titleEncoding = title_.encoding;
  *artistEncoding = artist_.encoding;
  if (title_.bytes.size() > static_cast<std::size_t>(titleBytes) ||
      artist_.bytes.size() > static_cast<std::size_t>(artistBytes)) {
    return PPI_E_FAIL;
  }
  std::memcpy(title, title_.bytes.data(), title_.bytes.size());
  std::memcpy(artist, artist_.bytes.data(), artist_.bytes.size());
  return PPI_OK;
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
  std::free(delivered_);
  delivered_ = nullptr;
  deliveredSize_ = 0;
}

std::uint8_t* CFileInfo_DSD::NewDeliveredBuffer(std::size_t size) {
  delivered_ = std::calloc(size == 0 ? 1 : size, 1);
  deliveredSize_ = delivered_ != nullptr ? static_cast<std::uint32_t>(size) : 0;
  return static_cast<std::uint8_t*>(delivered_);
}

void CFileInfo_DSD::RebuildTagDictionary() {
  tags_.clear();
  const std::pair<const char*, const TagText*> texts[] = {
      {"Artist", &artist_}, {"Title", &title_}, {"Album", &album_}, {"Track", &track_}};
  for (const auto& [key, text] : texts) {
    if (text->bytes.empty()) continue;
    tags_[key] = text->bytes;
    if (text->encoding <= 3) tags_[std::string("enc") + key] = kEncodingNames[text->encoding];
  }
}
