#pragma once

#include <memory>
#include <new>

#include "plugins/common/FileInfoDsd.h"
#include "sources/PluginInterface.h"

// The object of a DSD plug-in (DSF, DSDIFF): the handshake, the argument
// checks and the mode switch; the file format work is its parser's.
class CDsdSource : public CPlayerPluginIF {
 public:
  explicit CDsdSource(std::unique_ptr<CFileInfo_DSD> parser);
  ~CDsdSource();
  CDsdSource(const CDsdSource&) = delete;
  CDsdSource& operator=(const CDsdSource&) = delete;

 private:
  static const PlayerPluginTable kTable;
  static CDsdSource& Self(CPlayerPluginIF* self) { return *static_cast<CDsdSource*>(self); }

  static int32_t Initialize(CPlayerPluginIF* self, const PPI_GUID* id);
  static int32_t GetName(CPlayerPluginIF* self, char16_t* buffer, int32_t length);
  static int32_t GetExtensions(CPlayerPluginIF* self, char16_t* buffer, int32_t length);
  static int32_t GetVersion(CPlayerPluginIF* self, char16_t* buffer, int32_t length);
  static int32_t OpenFile(CPlayerPluginIF* self, const char16_t* path);
  static int32_t OpenMemory(CPlayerPluginIF* self, const void* image, int32_t size);
  static int32_t GetFrameCount(CPlayerPluginIF* self, int32_t* count);
  static int32_t GetDataSize(CPlayerPluginIF* self, int32_t* bytes);
  static int32_t SetFrameRange(CPlayerPluginIF* self, int32_t first, int32_t last);
  static int32_t GetTitleArtist(CPlayerPluginIF* self, void* title, int32_t titleBytes,
                                int32_t* titleEncoding, void* artist, int32_t artistBytes,
                                int32_t* artistEncoding);
  static int32_t GetFormat(CPlayerPluginIF* self, WAVEFORMATEX* format);
  static int32_t Read(CPlayerPluginIF* self, void** data, uint32_t* size);
  static int32_t ReleaseData(CPlayerPluginIF* self);
  static int32_t IsMultiInstance(CPlayerPluginIF* self, int32_t* flag);
  static int32_t GetAlignment(CPlayerPluginIF* self, int32_t* frames);
  static int32_t IsDsd(CPlayerPluginIF* self, int32_t* flag);
  static int32_t SetOutputMode(CPlayerPluginIF* self, int32_t mode);
  static int32_t GetTagMap(CPlayerPluginIF* self, const void** dictionary);
  static void Destroy(CPlayerPluginIF* self);

  std::unique_ptr<CFileInfo_DSD> parser_;
  bool initialized_ = false;
};

// The two exports of a DSD plug-in file over its parser class.
template <typename Parser>
CPlayerPluginIF* MakeDsdSource() {
  std::unique_ptr<CFileInfo_DSD> parser(new (std::nothrow) Parser());
  if (!parser) return nullptr;
  return new (std::nothrow) CDsdSource(std::move(parser));
}

inline void ReleaseDsdSource(CPlayerPluginIF* object) {
  if (object != nullptr) object->table->Destroy(object);
}
