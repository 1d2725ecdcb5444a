#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "plugins/common/PluginText.h"
#include "sources/PluginInterface.h"

// The plug-in's base for DSD file formats: the source (a file or a memory
// image) with its positioned reads, the delivery mode and range, the stream
// parameters, the tag texts and their dictionary, and the delivered buffer.
// A format class parses its headers into this state and converts its data.
class CFileInfo_DSD {
 public:
  enum OutputMode : int { kModeDop = 1, kModeRawWords = 2 };
  static constexpr std::uint32_t kMaxChannels = 6;

  // What a format's parser says of itself: the identity texts (ASCII, given
  // narrow and wide alike) and the frame alignment; the base has empty texts
  // and no alignment.
  struct Identity {
    const char* name = "";
    const char* extensions = "";
    const char* version = "";
    std::int32_t alignmentFrames = 0;  // 0: Alignment writes nothing
  };

  CFileInfo_DSD() = default;
  explicit CFileInfo_DSD(const Identity& identity) : identity_(identity) {}
  virtual ~CFileInfo_DSD();
  CFileInfo_DSD(const CFileInfo_DSD&) = delete;
  CFileInfo_DSD& operator=(const CFileInfo_DSD&) = delete;

  virtual int32_t NameA(char* buffer, int32_t length);
  virtual int32_t ExtensionsA(char* buffer, int32_t length);
  virtual int32_t VersionA(char* buffer, int32_t length);
  virtual int32_t NameW(char16_t* buffer, int32_t length);
  virtual int32_t ExtensionsW(char16_t* buffer, int32_t length);
  virtual int32_t VersionW(char16_t* buffer, int32_t length);
  virtual int32_t Alignment(int32_t* frames);
  virtual int32_t TagDictionary(const void** dictionary);
  // PPI_OK whatever the headers hold (a file that does not parse reports no
  // channels); a failure only for files the format refuses outright.
  virtual int32_t ParseHeaders();
  virtual int32_t ReadDop(void** data, uint32_t* size);
  virtual int32_t ReadRawWords(void** data, uint32_t* size);

  // PPI_E_OPEN when the file cannot be opened, else what ParseHeaders says.
  int32_t OpenFile(const char16_t* path);
  int32_t OpenMemory(const void* image, std::size_t size);
  bool IsOpen() const { return source_ != Source::kNone; }

  int32_t FrameCount(int32_t* count) const;
  int32_t DataSize(int32_t* bytes) const;
  void Format(WAVEFORMATEX* format) const;
  int32_t TitleArtist(void* title, int32_t titleBytes, int32_t* titleEncoding, void* artist,
                      int32_t artistBytes, int32_t* artistEncoding) const;
  void SetRange(int32_t first, int32_t last);
  void SetMode(OutputMode mode);
  OutputMode mode() const { return mode_; }
  bool HoldsData() const { return delivered_ != nullptr; }
  void ReleaseData();

 protected:
  enum class Source { kNone, kFile, kMemory };
  // Packs one frame (per channel bytesPerFrame_ DSD bytes, earliest sample
  // in the highest bit) as raw 32-bit words.
  struct RawWordPacker {
    std::uint8_t* operator()(std::uint8_t* out, const std::uint8_t (*bytes)[4],
                             std::uint64_t channels) const {
      for (std::uint64_t c = 0; c < channels; ++c, out += 4)
        std::memcpy(out, bytes[c], 4);
      return out;
    }
  };
  // Packs one frame of two bytes per channel as DSD over PCM: 0, the later
  // byte, the earlier byte, then the marker, which alternates from 0x05 at
  // the start of every delivery.
  struct DopPacker {
    int marker = 0;
    std::uint8_t* operator()(std::uint8_t* out, const std::uint8_t (*bytes)[4],
                             std::uint64_t channels) {
      static constexpr std::uint8_t kMarkers[2] = {0x05, 0xFA};
      for (std::uint64_t c = 0; c < channels; ++c, out += 4) {
        out[0] = 0;
        out[1] = bytes[c][1];
        out[2] = bytes[c][0];
        out[3] = kMarkers[marker];
      }
      marker ^= 1;
      return out;
    }
  };
  // The frames of the selected range the data holds (a range reaching past
  // the data delivers what there is) and the delivered buffer for them;
  // PPI_OK, or the failure the read reports.
  int32_t BeginRange(std::int64_t* frames, std::uint8_t** out, std::uint64_t* bufferSize);
  // Reads the title, artist, album and track frames of an ID3v2.3/2.4 tag at
  // `offset`; a tag that does not parse leaves what it has not yet given.
  void ReadId3Tag(std::uint64_t offset);

  // Reads exactly `count` bytes at the read position, or fewer only at the
  // end of a file; returns the number read, or -1 when nothing can be read
  // (a memory image needs all `count` bytes).
  std::int64_t ReadSome(void* destination, std::size_t count);
  bool ReadExact(void* destination, std::size_t count) {
    return ReadSome(destination, count) == static_cast<std::int64_t>(count);
  }
  void Seek(std::uint64_t position);
  std::uint64_t SourceSize() const;
  void Discard();
  // A buffer of `size` bytes that becomes the delivered buffer; the caller
  // writes every byte of it.
  std::uint8_t* NewDeliveredBuffer(std::size_t size);

  Identity identity_;  // set at construction only
  OutputMode mode_ = kModeDop;
  std::uint32_t bytesPerFrame_ = 2;  // DSD bytes per channel per frame
  Source source_ = Source::kNone;
  std::uint64_t totalFileSize_ = 0;
  bool dataFound_ = false;
  std::uint64_t dataOffset_ = 0;
  std::uint64_t dataBytes_ = 0;  // as the header claims them
  std::uint64_t heldBytes_ = 0;  // as far as the file holds them
  std::int32_t first_ = 0;
  std::int32_t last_ = 0;
  std::int32_t count_ = 0;
  std::uint32_t samplingFrequency_ = 0;
  std::uint16_t channels_ = 0;
  std::uint32_t channelMask_ = 0;
  ppi::TrackTags tags_;

 private:
  void* delivered_ = nullptr;
  std::uint32_t deliveredSize_ = 0;
  void* spare_ = nullptr;  // the last delivered buffer, released
  std::size_t spareSize_ = 0;
  int fd_ = -1;
  std::uint64_t position_ = 0;
  const std::uint8_t* memoryStart_ = nullptr;
  const std::uint8_t* memoryEnd_ = nullptr;
};
