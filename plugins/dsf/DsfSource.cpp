#include "plugins/dsf/DsfSource.h"

#include <cstring>
#include <new>

namespace {

// Every operation but Initialize and the destructor needs the handshake first.
#define DSF_REQUIRE_INITIALIZED(self) \
  if (!Self(self).initialized_) return PPI_E_NOT_INITIALIZED

}  // namespace

const PlayerPluginTable CDsfSource::kTable = {
    Initialize,   GetName,       GetExtensions,  GetVersion, OpenFile, OpenMemory,  GetFrameCount,
    GetDataSize,  SetFrameRange, GetTitleArtist, GetFormat,  Read,     ReleaseData, IsMultiInstance,
    GetAlignment, IsDsd,         SetOutputMode,  GetTagMap,  Destroy,
};

CDsfSource::CDsfSource(std::unique_ptr<CFileInfo_DSF> parser) : parser_(std::move(parser)) {
  table = &kTable;
}

CDsfSource::~CDsfSource() {
  if (initialized_) parser_->ReleaseData();
}

int32_t CDsfSource::Initialize(CPlayerPluginIF* self, const PPI_GUID* id) {
  static const PPI_GUID kKnown = PPI_INTERFACE_ID_INIT;
  Self(self).initialized_ = id != nullptr && std::memcmp(id, &kKnown, sizeof kKnown) == 0;
  return Self(self).initialized_ ? PPI_OK : PPI_E_NOT_INITIALIZED;
}

int32_t CDsfSource::GetName(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  DSF_REQUIRE_INITIALIZED(self);
  return Self(self).parser_->NameW(buffer, length);
}

int32_t CDsfSource::GetExtensions(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  DSF_REQUIRE_INITIALIZED(self);
  return Self(self).parser_->ExtensionsW(buffer, length);
}

int32_t CDsfSource::GetVersion(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
  DSF_REQUIRE_INITIALIZED(self);
  return Self(self).parser_->VersionW(buffer, length);
}

int32_t CDsfSource::OpenFile(CPlayerPluginIF* self, const char16_t* path) {
  DSF_REQUIRE_INITIALIZED(self);
  if (path == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->OpenFile(path);
}

int32_t CDsfSource::OpenMemory(CPlayerPluginIF* self, const void* image, int32_t size) {
  DSF_REQUIRE_INITIALIZED(self);
  if (image == nullptr || size <= 0) return PPI_E_ARGUMENT;
  return Self(self).parser_->OpenMemory(image, static_cast<std::size_t>(size));
}

int32_t CDsfSource::GetFrameCount(CPlayerPluginIF* self, int32_t* count) {
  DSF_REQUIRE_INITIALIZED(self);
  if (count == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->FrameCount(count);
}

int32_t CDsfSource::GetDataSize(CPlayerPluginIF* self, int32_t* bytes) {
  DSF_REQUIRE_INITIALIZED(self);
  if (bytes == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->DataSize(bytes);
}

int32_t CDsfSource::SetFrameRange(CPlayerPluginIF* self, int32_t first, int32_t last) {
  DSF_REQUIRE_INITIALIZED(self);
  if (first < 0 || first > last) return PPI_E_ARGUMENT;
  if (!Self(self).parser_->IsOpen()) return PPI_E_FAIL;
  Self(self).parser_->SetRange(first, last);
  return PPI_OK;
}

int32_t CDsfSource::GetTitleArtist(CPlayerPluginIF* self, void* title, int32_t titleBytes,
                                   int32_t* titleEncoding, void* artist, int32_t artistBytes,
                                   int32_t* artistEncoding) {
  DSF_REQUIRE_INITIALIZED(self);
  if (title == nullptr || titleEncoding == nullptr || artist == nullptr ||
      artistEncoding == nullptr || titleBytes <= 0 || artistBytes <= 0) {
    return PPI_E_ARGUMENT;
  }
  return Self(self).parser_->TitleArtist(title, titleBytes, titleEncoding, artist, artistBytes,
                                         artistEncoding);
}

int32_t CDsfSource::GetFormat(CPlayerPluginIF* self, WAVEFORMATEX* format) {
  DSF_REQUIRE_INITIALIZED(self);
  if (format == nullptr) return PPI_E_ARGUMENT;
  Self(self).parser_->Format(format);
  return PPI_OK;
}

int32_t CDsfSource::Read(CPlayerPluginIF* self, void** data, uint32_t* size) {
  DSF_REQUIRE_INITIALIZED(self);
  if (data == nullptr || size == nullptr) return PPI_E_ARGUMENT;
  CFileInfo_DSF& parser = *Self(self).parser_;
  if (parser.HoldsData()) return PPI_E_FAIL;
  switch (parser.mode()) {
    case CFileInfo_DSD::kModeDop:
      return parser.ReadDop(data, size);
    case CFileInfo_DSD::kModeRawWords:
      return parser.ReadRawWords(data, size);
  }
  return PPI_E_FAIL;
}

int32_t CDsfSource::ReleaseData(CPlayerPluginIF* self) {
  DSF_REQUIRE_INITIALIZED(self);
  Self(self).parser_->ReleaseData();
  return PPI_OK;
}

int32_t CDsfSource::IsMultiInstance(CPlayerPluginIF* self, int32_t* flag) {
  DSF_REQUIRE_INITIALIZED(self);
  if (flag == nullptr) return PPI_E_ARGUMENT;
  *flag = 1;
  return PPI_OK;
}

int32_t CDsfSource::GetAlignment(CPlayerPluginIF* self, int32_t* frames) {
  DSF_REQUIRE_INITIALIZED(self);
  if (frames == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->Alignment(frames);
}

int32_t CDsfSource::IsDsd(CPlayerPluginIF* self, int32_t* flag) {
  DSF_REQUIRE_INITIALIZED(self);
  if (flag == nullptr) return PPI_E_ARGUMENT;
  *flag = 1;
  return PPI_OK;
}

int32_t CDsfSource::SetOutputMode(CPlayerPluginIF* self, int32_t mode) {
  DSF_REQUIRE_INITIALIZED(self);
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

int32_t CDsfSource::GetTagMap(CPlayerPluginIF* self, const void** dictionary) {
  DSF_REQUIRE_INITIALIZED(self);
  if (dictionary == nullptr) return PPI_E_ARGUMENT;
  return Self(self).parser_->TagDictionary(dictionary);
}

void CDsfSource::Destroy(CPlayerPluginIF* self) {
  delete &Self(self);
}

extern "C" {

PPI_EXPORT CPlayerPluginIF* ppi_MakeInstance(void) {
  std::unique_ptr<CFileInfo_DSF> parser(new (std::nothrow) CFileInfo_DSF());
  if (!parser) return nullptr;
  return new (std::nothrow) CDsfSource(std::move(parser));
}

PPI_EXPORT void ppi_ReleaseInstance(CPlayerPluginIF* object) {
  if (object != nullptr) object->table->Destroy(object);
}
}
