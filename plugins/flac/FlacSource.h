#pragma once

#include <cstddef>
#include <cstdint>

#include "plugins/common/PluginText.h"
#include "plugins/flac/FlacDecoder.h"
#include "sources/PluginInterface.h"

// The implementation behind the FLAC plug-in's object: PCM of 1 to 8
// channels up to 768 kHz, delivered as 16-, 24- or 32-bit little-endian
// integers (8-, 12- and 20-bit streams widened to the next of those,
// left-justified), frame ranges sample-exact, tags from the Vorbis comments
// as UTF-8.
class CFlacSource {
 public:
  static constexpr std::uint32_t kMaxChannels = 8;
  static constexpr std::uint32_t kMaxSampleRate = 768000;

  CFlacSource() = default;
  ~CFlacSource();
  CFlacSource(const CFlacSource&) = delete;
  CFlacSource& operator=(const CFlacSource&) = delete;

  int32_t Name(char16_t* buffer, int32_t length) const;
  int32_t Extensions(char16_t* buffer, int32_t length) const;
  int32_t Version(char16_t* buffer, int32_t length) const;
  int32_t OpenFile(const char16_t* path);
  int32_t OpenMemory(const void* image, std::size_t size);
  bool IsOpen() const { return decoder_.IsOpen(); }
  int32_t FrameCount(int32_t* count) const;
  int32_t DataSize(int32_t* bytes) const;
  void SetRange(int32_t first, int32_t last);
  int32_t TitleArtist(void* title, int32_t titleBytes, int32_t* titleEncoding, void* artist,
                      int32_t artistBytes, int32_t* artistEncoding) const;
  void Format(WAVEFORMATEX* format) const;
  bool HoldsData() const { return delivered_ != nullptr; }
  // The selected range, decoded; a range reaching past the stream delivers
  // what there is.
  int32_t Read(void** data, uint32_t* size);
  void ReleaseData();
  int32_t Alignment(int32_t* frames) const;
  int32_t IsDsd() const { return 0; }
  // PCM has no DSD packing: both modes are accepted and change nothing.
  void SetOutputMode(int32_t) {}
  int32_t TagDictionary(const void** dictionary) const;

 private:
  // Takes what the opened stream says: its layout when we deliver it, its tags.
  void TakeStream();
  void Discard();
  // Bytes of one delivered sample: 2, 3 or 4; 0 when the stream is not played.
  std::uint32_t ContainerBytes() const;

  CFlacDecoder decoder_;
  bool playable_ = false;
  ppi::TrackTags tags_;
  std::int32_t first_ = 0;
  std::int32_t last_ = -1;
  std::uint8_t* delivered_ = nullptr;
};
