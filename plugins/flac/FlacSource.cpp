#include "plugins/flac/FlacSource.h"

#include "plugins/common/PluginObject.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>

namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

CFlacSource::~CFlacSource() {
  std::free(delivered_);
}

void CFlacSource::Discard() {
  std::free(delivered_);
  delivered_ = nullptr;
  decoder_.Close();
  playable_ = false;
  tags_.Clear();
  first_ = 0;
  last_ = -1;
}

void CFlacSource::TakeStream() {
  const auto& info = decoder_.info();
  // Layouts outside what we deliver are treated like a file that did not
  // parse: no channels, no rate, no frames, so the player refuses them.
  playable_ = decoder_.IsFlac() && info.channels >= 1 && info.channels <= kMaxChannels &&
              info.sampleRate >= 1 && info.sampleRate <= kMaxSampleRate &&
              info.bitsPerSample >= 4 && info.bitsPerSample <= 32 &&
              info.totalFrames <= static_cast<std::uint64_t>(std::numeric_limits<int32_t>::max());
  if (!playable_) return;
  const std::pair<const char*, ppi::TagText*> fields[] = {{"TITLE", &tags_.title},
                                                          {"ARTIST", &tags_.artist},
                                                          {"ALBUM", &tags_.album},
                                                          {"TRACKNUMBER", &tags_.track}};
  for (const std::string& comment : decoder_.comments()) {
    const std::size_t equals = comment.find('=');
    if (equals == std::string::npos) continue;
    for (const auto& [name, text] : fields) {
      // The first of repeated fields is the one shown.
      if (text->bytes.empty() && SameNameIgnoringCase(comment.substr(0, equals), name))
        *text = ppi::Utf8Tag(comment.substr(equals + 1));
    }
  }
  tags_.RebuildDictionary();
}

std::uint32_t CFlacSource::ContainerBytes() const {
  if (!playable_) return 0;
  const std::uint32_t bits = decoder_.info().bitsPerSample;
  return bits <= 16 ? 2 : bits <= 24 ? 3 : 4;
}

int32_t CFlacSource::Name(char16_t* buffer, int32_t length) const {
  return ppi::CopyWide(u"FLAC Plugin", buffer, length);
}

int32_t CFlacSource::Extensions(char16_t* buffer, int32_t length) const {
  return ppi::CopyWide(u"FLAC", buffer, length);
}

int32_t CFlacSource::Version(char16_t* buffer, int32_t length) const {
  return ppi::CopyWide(u"1.0.0", buffer, length);
}

int32_t CFlacSource::OpenFile(const char16_t* path) {
  Discard();
  if (!decoder_.OpenFile(ppi::Utf16ToUtf8(path))) return PPI_E_OPEN;
  TakeStream();
  return PPI_OK;
}

int32_t CFlacSource::OpenMemory(const void* image, std::size_t size) {
  Discard();
  decoder_.OpenMemory(image, size);
  TakeStream();
  return PPI_OK;
}

int32_t CFlacSource::FrameCount(int32_t* count) const {
  if (!decoder_.IsOpen()) return PPI_E_FAIL;
  *count = playable_ ? static_cast<int32_t>(decoder_.info().totalFrames) : 0;
  return PPI_OK;
}

int32_t CFlacSource::DataSize(int32_t* bytes) const {
  if (!decoder_.IsOpen()) return PPI_E_FAIL;
  const std::uint64_t size =
      playable_ ? decoder_.info().totalFrames * decoder_.info().channels * ContainerBytes() : 0;
  if (size > std::numeric_limits<uint32_t>::max()) return PPI_E_TOO_LARGE;
  *bytes = static_cast<int32_t>(static_cast<uint32_t>(size));
  return PPI_OK;
}

void CFlacSource::SetRange(int32_t first, int32_t last) {
  first_ = first;
  last_ = last;
}

int32_t CFlacSource::TitleArtist(void* title, int32_t titleBytes, int32_t* titleEncoding,
                                 void* artist, int32_t artistBytes, int32_t* artistEncoding) const {
  return tags_.CopyTitleArtist(title, titleBytes, titleEncoding, artist, artistBytes,
                               artistEncoding);
}

void CFlacSource::Format(WAVEFORMATEX* format) const {
  const std::uint32_t bytes = ContainerBytes();
  const auto& info = decoder_.info();
  *format = {};
  format->wFormatTag = 1;
  if (bytes == 0) return;
  format->nChannels = static_cast<uint16_t>(info.channels);
  format->nSamplesPerSec = info.sampleRate;
  format->nBlockAlign = static_cast<uint16_t>(bytes * info.channels);
  format->nAvgBytesPerSec = format->nBlockAlign * info.sampleRate;
  format->wBitsPerSample = static_cast<uint16_t>(bytes * 8);
}

int32_t CFlacSource::Read(void** data, uint32_t* size) {
  const auto& info = decoder_.info();
  const std::uint64_t total = info.totalFrames;
  if (!playable_ || last_ < first_ || static_cast<std::uint64_t>(first_) >= total) {
    return PPI_E_FAIL;
  }
  // A range reaching past the stream delivers what there is.
  const std::uint64_t frames =
      std::min<std::uint64_t>(static_cast<std::uint64_t>(last_), total - 1) - first_ + 1;
  const std::uint64_t values = frames * info.channels;
  const std::uint32_t bytes = ContainerBytes();
  if (values * bytes > std::numeric_limits<uint32_t>::max()) return PPI_E_FAIL;
  std::unique_ptr<std::int32_t[]> samples(new (std::nothrow) std::int32_t[values]);
  auto* out = static_cast<std::uint8_t*>(std::malloc(values * bytes));
  if (!samples || out == nullptr) {
    std::free(out);
    return PPI_E_MEMORY;
  }
  // A stream libFLAC finds damaged delivers nothing rather than what it
  // made of the damage.
  if (!decoder_.ReadFrames(static_cast<std::uint64_t>(first_), frames, samples.get())) {
    std::free(out);
    return PPI_E_FAIL;
  }
  const std::uint32_t shift = bytes * 8 - info.bitsPerSample;
  std::uint8_t* cursor = out;
  for (std::uint64_t i = 0; i < values; ++i) {
    const std::uint32_t value = static_cast<std::uint32_t>(samples[i]) << shift;
    for (std::uint32_t b = 0; b < bytes; ++b)
      *cursor++ = static_cast<std::uint8_t>(value >> (8 * b));
  }
  delivered_ = out;
  *data = out;
  *size = static_cast<uint32_t>(values * bytes);
  return PPI_OK;
}

void CFlacSource::ReleaseData() {
  std::free(delivered_);
  delivered_ = nullptr;
}

int32_t CFlacSource::Alignment(int32_t* frames) const {
  *frames = 1;
  return PPI_OK;
}

int32_t CFlacSource::TagDictionary(const void** dictionary) const {
  *dictionary = &tags_.dictionary;
  return PPI_OK;
}

extern "C" {

PPI_EXPORT CPlayerPluginIF* ppi_MakeInstance(void) {
  return MakePluginObject<CFlacSource>();
}

PPI_EXPORT void ppi_ReleaseInstance(CPlayerPluginIF* object) {
  ReleasePluginObject(object);
}
}
