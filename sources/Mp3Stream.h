#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sources/Mp3FrameDecoder.h"
#include "sources/Mp3StreamInfo.h"

class CSmartFileReader;

// Samples of delay a standard MP3 decoder adds to its output: the overlap of
// its hybrid filter bank. The frame decoder keeps it, and trimming counts it.
inline constexpr std::uint64_t kMp3DecoderDelay = 529;

// The 16-bit amplitude at or below which a sample counts as silence for a
// gapless threshold in dB (clamped to -96..0); 0 disables the estimate.
std::int16_t SilenceAmplitude(double thresholdDb);

// An MP3 file as a gapless stream of 16-bit PCM sample frames: the analysis
// of the file, a frame decoder fed in blocks of up to 1 MiB, and the trimming
// of the encoder delay, the end padding and the decoder's own delay. Sample
// positions count delivered sample frames from the start of the track.
class CMp3Stream {
 public:
  CMp3Stream();
  ~CMp3Stream();
  CMp3Stream(const CMp3Stream&) = delete;
  CMp3Stream& operator=(const CMp3Stream&) = delete;

  // Analyses the file and prepares decoding. When the file names no delay
  // and padding, they are estimated from the silence at its ends with the
  // threshold (dB). False when the file cannot be opened or decoded.
  bool Open(const std::wstring& path, double thresholdDb);

  // Continues delivery at sample `sample`; false when the stream does not
  // reach that far or the first conversion there fails.
  bool Seek(std::uint64_t sample);

  // Delivers at most `maxSamples` sample frames, and no more than fit in
  // `buffer`; fewer only at the end of the stream. -1 when decoding failed,
  // now or before: a failed stream stays failed.
  std::int64_t Read(std::span<std::uint8_t> buffer, std::uint64_t maxSamples);

  bool Failed() const { return failed_; }
  std::uint64_t TotalSamples() const { return info_.totalSamples; }
  std::uint64_t CurrentSample() const { return currentSample_; }
  std::uint32_t SampleRate() const { return info_.firstHeader.SampleRate(); }
  std::uint32_t Channels() const { return info_.firstHeader.Channels(); }
  std::uint32_t BytesPerSample() const { return sizeof(std::int16_t); }
  std::uint32_t BlockAlign() const { return BytesPerSample() * Channels(); }
  const Mp3TagTexts& Tags() const { return info_.tags; }
  const Mp3StreamInfo& Info() const { return info_; }

 private:
  enum class Step { kProduced, kNothing, kFailed };

  void Rewind();
  // The decoded sample count past which nothing is delivered: the end padding
  // less the decoder delay it already holds is cut off.
  std::uint64_t EndLimit() const;
  // The frame to start decoding at so that `frame` decodes as in a run from
  // the start of the stream.
  std::uint64_t DecodeStartFor(std::uint64_t frame) const;
  Step ConversionStep();
  void Trim();
  void EstimateSilence(double thresholdDb);
  // Reads `count` samples from `sample` on into `out`; false on failure.
  bool ReadWindow(std::uint64_t sample, std::uint64_t count, std::vector<std::int16_t>& out);

  std::shared_ptr<CSmartFileReader> reader_;
  Mp3StreamInfo info_;
  CMp3FrameDecoder decoder_;
  bool open_ = false;
  bool failed_ = false;

  std::uint64_t inputPosition_ = 0;        // next byte to feed, from the first audio frame
  std::span<const std::int16_t> pending_;  // decoded output not yet delivered
  std::uint64_t decodedSamples_ = 0;       // since the stream's start, as of the last frame decoded
  std::uint64_t discardAtHead_ = 0;
  std::uint64_t currentSample_ = 0;
  bool restart_ = true;
};
