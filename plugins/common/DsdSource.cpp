#include "plugins/common/DsdSource.h"

#include <cstring>
#include <new>

namespace {

// Every operation but Initialize and the destructor needs the handshake first.
#define DSD_REQUIRE_INITIALIZED(self) \
  if (!Self(self).initialized_) return PPI_E_NOT_INITIALIZED

}  // namespace

const PlayerPluginTable CDsdSource::kTable = {
    Initialize,   GetName,       GetExtensions,  GetVersion, OpenFile, OpenMemory,  GetFrameCount,
    GetDataSize,  SetFrameRange, GetTitleArtist, GetFormat,  Read,     ReleaseData, IsMultiInstance,
    GetAlignment, IsDsd,         SetOutputMode,  GetTagMap,  Destroy,
};

CDsdSource::CDsdSource(std::unique_ptr<CFileInfo_DSD> parser) : parser_(std::move(parser)) {
  table = &kTable;
}

CDsdSource::~CDsdSource() {
  if (initialized_) parser_->ReleaseData();
}

int32_t CDsdSource::Initialize(CPlayerPluginIF* self, const PPI_GUID* id) {
  static const PPI_GUID kKnown = PPI_INTERFACE_ID_INIT;
  Self(self).initialized_ = id != nullptr && std::memcmp(id, &kKnown, sizeof kKnown) == 0;
  return Self(self).initialized_ ? PPI_OK : PPI_E_NOT_INITIALIZED;
}

int32_t CDsdSource::GetName(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  DSD_REQUIRE_INITIALIZED(self);
  return Self(self).parser_->NameW(buffer, length);
}

int32_t CDsdSource::GetExtensions(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  DSD_REQUIRE_INITIALIZED(self);
  return Self(self).parser_->ExtensionsW(buffer, length);
}

int32_t CDsdSource::GetVersion(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  DSD_REQUIRE_INITIALIZED(self);
  return Self(self).parser_->VersionW(buffer, length);
}

int32_t CDsdSource::OpenFile(CPlayerPluginIF* self, const char16_t* path) {
  DSD_REQUIRE_INITIALIZED(self);
  if (path == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->OpenFile(path);
}

int32_t CDsdSource::OpenMemory(CPlayerPluginIF* self, const void* image, int32_t size) {
  DSD_REQUIRE_INITIALIZED(self);
  if (image == nullptr || size <= 0) return PPI_E_ARGUMENT;
  return Self(self).parser_->OpenMemory(image, static_cast<std::size_t>(size));
}

int32_t CDsdSource::GetFrameCount(CPlayerPluginIF* self, int32_t* count) {
  DSD_REQUIRE_INITIALIZED(self);
  if (count == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->FrameCount(count);
}

int32_t CDsdSource::GetDataSize(CPlayerPluginIF* self, int32_t* bytes) {
  DSD_REQUIRE_INITIALIZED(self);
  if (bytes == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->DataSize(bytes);
}

int32_t CDsdSource::SetFrameRange(CPlayerPluginIF* self, int32_t first, int32_t last) {
  DSD_REQUIRE_INITIALIZED(self);
  if (first < 0 || first > last) return PPI_E_ARGUMENT;
  if (!Self(self).parser_->IsOpen()) return PPI_E_FAIL;
  Self(self).parser_->SetRange(first, last);
  return PPI_OK;
}

int32_t CDsdSource::GetTitleArtist(CPlayerPluginIF* self, void* title, int32_t titleBytes,
                                   int32_t* titleEncoding, void* artist, int32_t artistBytes,
                                   int32_t* artistEncoding) {
  DSD_REQUIRE_INITIALIZED(self);
  if (title == nullptr || titleEncoding == nullptr || artist == nullptr ||
      artistEncoding == nullptr || titleBytes <= 0 || artistBytes <= 0) {
    return PPI_E_ARGUMENT;
  }
  return Self(self).parser_->TitleArtist(title, titleBytes, titleEncoding, artist, artistBytes,
                                         artistEncoding);
}

int32_t CDsdSource::GetFormat(CPlayerPluginIF* self, WAVEFORMATEX* format) {
  DSD_REQUIRE_INITIALIZED(self);
  if (format == nullptr) return PPI_E_ARGUMENT;
  Self(self).parser_->Format(format);
  return PPI_OK;
}

int32_t CDsdSource::Read(CPlayerPluginIF* self, void** data, uint32_t* size) {
  DSD_REQUIRE_INITIALIZED(self);
  if (data == nullptr || size == nullptr) return PPI_E_ARGUMENT;
  CFileInfo_DSD& parser = *Self(self).parser_;
  if (parser.HoldsData()) return PPI_E_FAIL;
  switch (parser.mode()) {
    case CFileInfo_DSD::kModeDop:
      return parser.ReadDop(data, size);
    case CFileInfo_DSD::kModeRawWords:
      return parser.ReadRawWords(data, size);
  }
  return PPI_E_FAIL;
}

int32_t CDsdSource::ReleaseData(CPlayerPluginIF* self) {
  DSD_REQUIRE_INITIALIZED(self);
  Self(self).parser_->ReleaseData();
  return PPI_OK;
}

int32_t CDsdSource::IsMultiInstance(CPlayerPluginIF* self, int32_t* flag) {
  DSD_REQUIRE_INITIALIZED(self);
  if (flag == nullptr) return PPI_E_ARGUMENT;
  *flag = 1;
  return PPI_OK;
}

int32_t CDsdSource::GetAlignment(CPlayerPluginIF* self, int32_t* frames) {
  DSD_REQUIRE_INITIALIZED(self);
  if (frames == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->Alignment(frames);
}

int32_t CDsdSource::IsDsd(CPlayerPluginIF* self, int32_t* flag) {
  DSD_REQUIRE_INITIALIZED(self);
  if (flag == nullptr) return PPI_E_ARGUMENT;
  *flag = 1;
  return PPI_OK;
}

int32_t CDsdSource::SetOutputMode(CPlayerPluginIF* self, int32_t mode) {
  DSD_REQUIRE_INITIALIZED(self);
  switch (mode) {
    case PPI_MODE_DOP:
      Self(self).parser_->SetMode(CFileInfo_DSD::kModeDop);
      return PPI_OK;
    case PPI_MODE_RAW_DSD:
      Self(self).parser_->SetMode(CFileInfo_DSD::kModeRawWords);
      return PPI_OK;
    default:
      return PPI_E_ARGUMENT;
  }
}

int32_t CDsdSource::GetTagMap(CPlayerPluginIF* self, const void** dictionary) {
  DSD_REQUIRE_INITIALIZED(self);
  if (dictionary == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->TagDictionary(dictionary);
}

void CDsdSource::Destroy(CPlayerPluginIF* self) {
  delete &Self(self);
}
