#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

struct mpg123_handle_struct;

// Decodes MPEG audio frames to interleaved 16-bit little-endian PCM through
// libmpg123, one frame at a time, from input fed in blocks. The library's own
// gapless trimming and info-frame handling are off, so every frame fed yields
// all of its samples and the output keeps the decoder's 529-sample delay:
// the stream above does the trimming. It never resynchronises: input that is
// not a continuous run of frames of the opened format is a decoding error.
class CMp3FrameDecoder {
 public:
  enum class Result { kFrame, kNeedMore, kError };

  CMp3FrameDecoder() = default;
  ~CMp3FrameDecoder();
  CMp3FrameDecoder(const CMp3FrameDecoder&) = delete;
  CMp3FrameDecoder& operator=(const CMp3FrameDecoder&) = delete;

  // Prepares a decoder whose output is fixed to this rate and channel count;
  // false when libmpg123 cannot deliver that format.
  bool Open(std::uint32_t sampleRate, std::uint32_t channels);
  void Close();

  // Starts a new stream: buffered input and decoder state are forgotten.
  bool Restart();
  // Hands the decoder the next bytes of the stream (copied).
  bool Feed(std::span<const std::uint8_t> bytes);
  // Decodes the next whole frame fed. On kFrame `samples` holds its output,
  // valid until the next call.
  Result DecodeFrame(std::span<const std::int16_t>& samples);

 private:
  mpg123_handle_struct* handle_ = nullptr;
  std::uint32_t sampleRate_ = 0;
  std::uint32_t channels_ = 0;
};
