#pragma once

#include <memory>

#include "plugins/dsf/FileInfoDsf.h"
#include "sources/PluginInterface.h"

// The DSF plug-in object: the handshake, the argument checks and the mode
// switch; the file format work is its parser's.
class CDsfSource : public CPlayerPluginIF {
 public:
  explicit CDsfSource(std::unique_ptr<CFileInfo_DSF> parser);
  ~CDsfSource();
  CDsfSource(const CDsfSource&) = delete;
  CDsfSource& operator=(const CDsfSource&) = delete;

 private:
  static const PlayerPluginTable kTable;
  static CDsfSource& Self(CPlayerPluginIF* self) { return *static_cast<CDsfSource*>(self); }

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

  std::unique_ptr<CFileInfo_DSF> parser_;
  bool initialized_ = false;
};
