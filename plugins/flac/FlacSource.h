#pragma once

#include <cstdint>

#include "plugins/common/PluginText.h"
#include "plugins/flac/FlacDecoder.h"
#include "sources/PluginInterface.h"

// The FLAC plug-in object: PCM of 1 to 8 channels up to 768 kHz, delivered
// as 16-, 24- or 32-bit little-endian integers (8-, 12- and 20-bit streams
// widened to the next of those, left-justified), frame ranges sample-exact,
// tags from the Vorbis comments as UTF-8.
class CFlacSource : public CPlayerPluginIF {
 public:
  static constexpr std::uint32_t kMaxChannels = 8;
  static constexpr std::uint32_t kMaxSampleRate = 768000;

  CFlacSource();
  ~CFlacSource();
  CFlacSource(const CFlacSource&) = delete;
  CFlacSource& operator=(const CFlacSource&) = delete;

 private:
  static const PlayerPluginTable kTable;
  static CFlacSource& Self(CPlayerPluginIF* self) { return *static_cast<CFlacSource*>(self); }

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

  // Takes what the opened stream says: its layout when we deliver it, its tags.
  void TakeStream();
  void Discard();
  // Bytes of one delivered sample: 2, 3 or 4; 0 when the stream is not played.
  std::uint32_t ContainerBytes() const;
  int32_t ReadRange(void** data, uint32_t* size);

  bool initialized_ = false;
  CFlacDecoder decoder_;
  bool playable_ = false;
  ppi::TrackTags tags_;
  std::int32_t first_ = 0;
  std::int32_t last_ = -1;
  std::uint8_t* delivered_ = nullptr;
};
