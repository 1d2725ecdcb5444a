#include "sources/Mp3FrameDecoder.h"

#include <mpg123.h>

#include <mutex>

namespace {

// Older libmpg123 releases need one library-wide initialisation.
void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

}  // namespace

CMp3FrameDecoder::~CMp3FrameDecoder() {
  Close();
}

bool CMp3FrameDecoder::Open(std::uint32_t sampleRate, std::uint32_t channels) {
  Close();
  if (channels != 1 && channels != 2) return false;
  InitLibrary();
  int error = MPG123_OK;
  handle_ = mpg123_new(nullptr, &error);
  if (handle_ == nullptr) return false;
  sampleRate_ = sampleRate;
  channels_ = channels;

  // No trimming, no resampling, no guessing: whole frames in, all their
  // samples out, and an error where the stream breaks.
  const long removeFlags = MPG123_GAPLESS | MPG123_AUTO_RESAMPLE;
  const long addFlags = MPG123_QUIET | MPG123_NO_READAHEAD | MPG123_IGNORE_INFOFRAME |
                        MPG123_NO_RESYNC | MPG123_NO_FRANKENSTEIN | MPG123_SKIP_ID3V2 |
                        MPG123_FORCE_ENDIAN;
  const bool configured = mpg123_param(handle_, MPG123_REMOVE_FLAGS, removeFlags, 0) == MPG123_OK &&
                          mpg123_param(handle_, MPG123_ADD_FLAGS, addFlags, 0) == MPG123_OK &&
                          mpg123_format_none(handle_) == MPG123_OK &&
                          mpg123_format(handle_, static_cast<long>(sampleRate),
                                        channels == 1 ? MPG123_MONO : MPG123_STEREO,
                                        MPG123_ENC_SIGNED_16) == MPG123_OK &&
                          Restart();
  if (!configured) Close();
  return configured;
}

void CMp3FrameDecoder::Close() {
  if (handle_ != nullptr) {
    mpg123_close(handle_);
    mpg123_delete(handle_);
  }
  handle_ = nullptr;
}

bool CMp3FrameDecoder::Restart() {
  return handle_ != nullptr && mpg123_open_feed(handle_) == MPG123_OK;
}

bool CMp3FrameDecoder::Feed(std::span<const std::uint8_t> bytes) {
  if (handle_ == nullptr) return false;
  if (bytes.empty()) return true;
  return mpg123_feed(handle_, bytes.data(), bytes.size()) == MPG123_OK;
}

CMp3FrameDecoder::Result CMp3FrameDecoder::DecodeFrame(std::span<const std::int16_t>& samples) {
  samples = {};
  if (handle_ == nullptr) return Result::kError;
  for (;;) {
    off_t frameNumber = 0;
    unsigned char* audio = nullptr;
    std::size_t bytes = 0;
    const int result = mpg123_decode_frame(handle_, &frameNumber, &audio, &bytes);
    if (result == MPG123_NEW_FORMAT) {
      long rate = 0;
      int channels = 0;
      int encoding = 0;
      if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK ||
          rate != static_cast<long>(sampleRate_) || channels != static_cast<int>(channels_) ||
          encoding != MPG123_ENC_SIGNED_16) {
        return Result::kError;
      }
      continue;
    }
    if (result == MPG123_NEED_MORE) return Result::kNeedMore;
    if (result != MPG123_OK) return Result::kError;
    if (bytes == 0) continue;
    samples = {reinterpret_cast<const std::int16_t*>(audio), bytes / sizeof(std::int16_t)};
    return Result::kFrame;
  }
}
