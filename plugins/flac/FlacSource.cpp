#include "plugins/flac/FlacSource.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>

namespace {

#define FLAC_REQUIRE_INITIALIZED(self) \
  if (!Self(self).initialized_) return PPI_E_NOT_INITIALIZED

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

const PlayerPluginTable CFlacSource::kTable = {
    Initialize,   GetName,       GetExtensions,  GetVersion, OpenFile, OpenMemory,  GetFrameCount,
    GetDataSize,  SetFrameRange, GetTitleArtist, GetFormat,  Read,     ReleaseData, IsMultiInstance,
    GetAlignment, IsDsd,         SetOutputMode,  GetTagMap,  Destroy,
};

CFlacSource::CFlacSource() {
  table = &kTable;
}

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

int32_t CFlacSource::Initialize(CPlayerPluginIF* self, const PPI_GUID* id) {
  static const PPI_GUID kKnown = PPI_INTERFACE_ID_INIT;
  Self(self).initialized_ = id != nullptr && std::memcmp(id, &kKnown, sizeof kKnown) == 0;
  return Self(self).initialized_ ? PPI_OK : PPI_E_NOT_INITIALIZED;
}

int32_t CFlacSource::GetName(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  FLAC_REQUIRE_INITIALIZED(self);
  return ppi::CopyWide(u"FLAC Plugin", buffer, length);
}

int32_t CFlacSource::GetExtensions(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  FLAC_REQUIRE_INITIALIZED(self);
  return ppi::CopyWide(u"FLAC", buffer, length);
}

int32_t CFlacSource::GetVersion(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  FLAC_REQUIRE_INITIALIZED(self);
  return ppi::CopyWide(u"1.0.0", buffer, length);
}

int32_t CFlacSource::OpenFile(CPlayerPluginIF* self, const char16_t* path) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (path == nullptr) return PPI_E_ARGUMENT;
  CFlacSource& me = Self(self);
  me.Discard();
  if (!me.decoder_.OpenFile(ppi::Utf16ToUtf8(path))) return PPI_E_OPEN;
  me.TakeStream();
  return PPI_OK;
}

int32_t CFlacSource::OpenMemory(CPlayerPluginIF* self, const void* image, int32_t size) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (image == nullptr || size <= 0) return PPI_E_ARGUMENT;
  CFlacSource& me = Self(self);
  me.Discard();
  me.decoder_.OpenMemory(image, static_cast<std::size_t>(size));
  me.TakeStream();
  return PPI_OK;
}

int32_t CFlacSource::GetFrameCount(CPlayerPluginIF* self, int32_t* count) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (count == nullptr) return PPI_E_ARGUMENT;
  CFlacSource& me = Self(self);
  if (!me.decoder_.IsOpen()) return PPI_E_FAIL;
  *count = me.playable_ ? static_cast<int32_t>(me.decoder_.info().totalFrames) : 0;
  return PPI_OK;
}

int32_t CFlacSource::GetDataSize(CPlayerPluginIF* self, int32_t* bytes) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (bytes == nullptr) return PPI_E_ARGUMENT;
  CFlacSource& me = Self(self);
  if (!me.decoder_.IsOpen()) return PPI_E_FAIL;
  const std::uint64_t size = me.playable_ ? me.decoder_.info().totalFrames *
                                                me.decoder_.info().channels * me.ContainerBytes()
                                          : 0;
  if (size > std::numeric_limits<uint32_t>::max()) return PPI_E_TOO_LARGE;
  *bytes = static_cast<int32_t>(static_cast<uint32_t>(size));
  return PPI_OK;
}

int32_t CFlacSource::SetFrameRange(CPlayerPluginIF* self, int32_t first, int32_t last) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (first < 0 || first > last) return PPI_E_ARGUMENT;
  CFlacSource& me = Self(self);
  if (!me.decoder_.IsOpen()) return PPI_E_FAIL;
  me.first_ = first;
  me.last_ = last;
  return PPI_OK;
}

int32_t CFlacSource::GetTitleArtist(CPlayerPluginIF* self, void* title, int32_t titleBytes,
                                    int32_t* titleEncoding, void* artist, int32_t artistBytes,
                                    int32_t* artistEncoding) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (title == nullptr || titleEncoding == nullptr || artist == nullptr ||
      artistEncoding == nullptr || titleBytes <= 0 || artistBytes <= 0) {
    return PPI_E_ARGUMENT;
  }
  return Self(self).tags_.CopyTitleArtist(title, titleBytes, titleEncoding, artist, artistBytes,
                                          artistEncoding);
}

int32_t CFlacSource::GetFormat(CPlayerPluginIF* self, WAVEFORMATEX* format) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (format == nullptr) return PPI_E_ARGUMENT;
  const CFlacSource& me = Self(self);
  const std::uint32_t bytes = me.ContainerBytes();
  const auto& info = me.decoder_.info();
  *format = {};
  format->wFormatTag = 1;
  if (bytes == 0) return PPI_OK;
  format->nChannels = static_cast<uint16_t>(info.channels);
  format->nSamplesPerSec = info.sampleRate;
  format->nBlockAlign = static_cast<uint16_t>(bytes * info.channels);
  format->nAvgBytesPerSec = format->nBlockAlign * info.sampleRate;
  format->wBitsPerSample = static_cast<uint16_t>(bytes * 8);
  return PPI_OK;
}

int32_t CFlacSource::ReadRange(void** data, uint32_t* size) {
  const auto& info = decoder_.info();
  const std::uint64_t total = info.totalFrames;
  if (!playable_ || static_cast<std::uint64_t>(first_) >= total) return PPI_E_FAIL;
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

int32_t CFlacSource::Read(CPlayerPluginIF* self, void** data, uint32_t* size) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (data == nullptr || size == nullptr) return PPI_E_ARGUMENT;
  CFlacSource& me = Self(self);
  if (me.delivered_ != nullptr) return PPI_E_FAIL;
  return me.ReadRange(data, size);
}

int32_t CFlacSource::ReleaseData(CPlayerPluginIF* self) {
  FLAC_REQUIRE_INITIALIZED(self);
  std::free(Self(self).delivered_);
  Self(self).delivered_ = nullptr;
  return PPI_OK;
}

int32_t CFlacSource::IsMultiInstance(CPlayerPluginIF* self, int32_t* flag) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (flag == nullptr) return PPI_E_ARGUMENT;
  *flag = 1;
  return PPI_OK;
}

int32_t CFlacSource::GetAlignment(CPlayerPluginIF* self, int32_t* frames) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (frames == nullptr) return PPI_E_ARGUMENT;
  *frames = 1;
  return PPI_OK;
}

int32_t CFlacSource::IsDsd(CPlayerPluginIF* self, int32_t* flag) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (flag == nullptr) return PPI_E_ARGUMENT;
  *flag = 0;
  return PPI_OK;
}

// PCM has no DSD packing: both modes are accepted and change nothing.
int32_t CFlacSource::SetOutputMode(CPlayerPluginIF* self, int32_t mode) {
  FLAC_REQUIRE_INITIALIZED(self);
  return mode == PPI_MODE_DOP || mode == PPI_MODE_RAW_DSD ? PPI_OK : PPI_E_ARGUMENT;
}

int32_t CFlacSource::GetTagMap(CPlayerPluginIF* self, const void** dictionary) {
  FLAC_REQUIRE_INITIALIZED(self);
  if (dictionary == nullptr) return PPI_E_ARGUMENT;
  *dictionary = &Self(self).tags_.dictionary;
  return PPI_OK;
}

void CFlacSource::Destroy(CPlayerPluginIF* self) {
  delete &Self(self);
}

extern "C" {

PPI_EXPORT CPlayerPluginIF* ppi_MakeInstance(void) {
  return new (std::nothrow) CFlacSource();
}

PPI_EXPORT void ppi_ReleaseInstance(CPlayerPluginIF* object) {
  if (object != nullptr) object->table->Destroy(object);
}
}
