#pragma once

#include <FLAC/stream_decoder.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One FLAC stream over libFLAC, read from a file or a memory image: the
// stream parameters and Vorbis comments at opening, then sample-exact
// decoding of any frame range, seeking (through the seek table when the
// stream has one) only where the range does not continue the last one. Any
// error libFLAC reports while decoding makes that decode fail.
class CFlacDecoder {
 public:
  struct StreamInfo {
    std::uint32_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bitsPerSample = 0;
    std::uint64_t totalFrames = 0;  // counted at opening when the stream does not say
  };

  CFlacDecoder() = default;
  ~CFlacDecoder();
  CFlacDecoder(const CFlacDecoder&) = delete;
  CFlacDecoder& operator=(const CFlacDecoder&) = delete;

  // False when the file cannot be opened; true otherwise, with IsFlac()
  // telling whether the stream's headers parsed.
  bool OpenFile(const std::string& path);
  void OpenMemory(const void* image, std::size_t size);
  void Close();
  bool IsOpen() const { return fd_ >= 0 || memory_ != nullptr; }
  bool IsFlac() const { return parsed_; }
  const StreamInfo& info() const { return info_; }
  // "NAME=value" entries of the Vorbis comment block, as stored.
  const std::vector<std::string>& comments() const { return comments_; }

  // Decodes `count` frames from `first` into `out` (interleaved, each sample
  // as libFLAC gives it, right-justified); false on any decoding error or
  // when the stream ends before them.
  bool ReadFrames(std::uint64_t first, std::uint64_t count, std::int32_t* out);

 private:
  static FLAC__StreamDecoderReadStatus OnRead(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                              std::size_t* bytes, void* self);
  static FLAC__StreamDecoderSeekStatus OnSeek(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                              void* self);
  static FLAC__StreamDecoderTellStatus OnTell(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                              void* self);
  static FLAC__StreamDecoderLengthStatus OnLength(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                  void* self);
  static FLAC__bool OnEof(const FLAC__StreamDecoder*, void* self);
  static FLAC__StreamDecoderWriteStatus OnWrite(const FLAC__StreamDecoder*,
                                                const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* self);
  static void OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata,
                         void* self);
  static void OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* self);

  void ParseStream();
  std::uint64_t Size() const;
  // Decodes the next audio frame into block_; false at the end or on error.
  bool DecodeNextBlock();
  // Positions the decoder so that the next block starts at `frame`.
  bool Seek(std::uint64_t frame);
  bool Rewind();

  FLAC__StreamDecoder* decoder_ = nullptr;
  int fd_ = -1;
  const std::uint8_t* memory_ = nullptr;
  std::size_t memorySize_ = 0;
  std::uint64_t position_ = 0;  // byte position of the next read
  bool parsed_ = false;
  bool failed_ = false;  // libFLAC reported an error since the last check
  StreamInfo info_;
  std::vector<std::string> comments_;
  std::vector<std::int32_t> block_;  // the last decoded block, interleaved
  std::uint64_t blockStart_ = 0;     // its first frame
  std::uint64_t blockFrames_ = 0;
};
