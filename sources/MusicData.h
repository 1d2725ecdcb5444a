#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "sources/TrackInfo.h"

// Result codes of every source operation.
enum MusicResult : std::int32_t {
  kMusicOk = 0,
  kMusicErrParam = -1000,     // bad argument, unknown type, unsupported operation
  kMusicErrSequence = -1001,  // operation called out of sequence
  kMusicErrOpen = -1100,      // file or device cannot be opened or read
  kMusicErrDecode = -1101,    // not a format the source can decode
  kMusicErrMemory = -1102,    // no memory for a buffer or decoder
  kMusicErrRead = -1103,      // a read failed in the middle of the data
  kMusicErrTooLarge = -1104,  // too large for 32-bit sizes, or size unknown
  kMusicEndOfRange = -1200,   // the play range is exhausted; not an error
};

struct MusicOpenParams {
  std::wstring path;         // a CD source uses the drive name
  bool gapless = false;      // MP3 gapless switch
  double threshold = -96.0;  // MP3 gapless threshold in dB
};

// Description and extension (without dot) of a kind of file; the pointers
// stay valid while the source that returned them lives.
struct FileTypeInfo {
  const wchar_t* description;
  const wchar_t* extension;
};

// One kind of music, reached the same way whatever its format: open a file,
// list its tracks, set a play range in CD frames and pull the audio chunk by
// chunk. Buffers handed out by Read and ReadAll come from AllocBuffer and go
// back through the same source's FreeBuffer. Used by one thread at a time.
class CMusicData {
 public:
  virtual ~CMusicData() = default;
  virtual const FileTypeInfo* GetFileType();
  virtual std::int32_t Open(const MusicOpenParams& params);
  virtual std::int32_t GetTrackCount(std::int32_t* count);
  virtual std::int32_t GetTrackInfo(std::int32_t index, TrackInfo* info);
  virtual std::int32_t SetPlayRange(std::uint32_t first, std::uint32_t last, std::uint32_t offset);
  virtual std::int32_t Read(void** data, std::uint32_t* size);
  virtual std::int32_t ReadAll(void** data, std::uint32_t* size);
  virtual void* AllocBuffer(std::uint32_t size);
  virtual void FreeBuffer(void* buffer);
  virtual std::int32_t IsDsd(std::int32_t* flag);
  virtual std::int32_t SetDsdPacking(std::int32_t mode);
  virtual std::int32_t IsMultiInstance(std::int32_t* flag);
  // Why the last Open failed, in the words of the file's reader when it
  // gave any (a plug-in's refusal); empty otherwise.
  virtual std::wstring OpenFailureReason() const;
};

// Owns one buffer handed out by a source and gives it back on destruction.
class SourceBuffer {
 public:
  SourceBuffer() = default;
  SourceBuffer(CMusicData& source, void* data, std::uint32_t size)
      : source_(&source), data_(data), size_(size) {}
  ~SourceBuffer() { Reset(); }
  SourceBuffer(const SourceBuffer&) = delete;
  SourceBuffer& operator=(const SourceBuffer&) = delete;
  SourceBuffer(SourceBuffer&& other) noexcept { *this = std::move(other); }
  SourceBuffer& operator=(SourceBuffer&& other) noexcept;

  const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(data_); }
  std::uint32_t size() const { return size_; }
  void Reset();

 private:
  CMusicData* source_ = nullptr;
  void* data_ = nullptr;
  std::uint32_t size_ = 0;
};

// Where the WAVE and CD sources start a range: first + offset, or the frame
// before `last` when that is not below it (a start at or past the end plays
// the last frame; a range ending at frame 0 starts at 0 rather than wrap).
std::uint32_t RangeStartFrame(std::uint32_t first, std::uint32_t last, std::uint32_t offset);

// Reads the next chunk into `out`; the result code is Read's.
std::int32_t ReadChunk(CMusicData& source, SourceBuffer& out);
