#include "plugins/flac/FlacDecoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Seeking forward by less than this many frames decodes through rather than
// searching the stream again.
constexpr std::uint64_t kDecodeThroughFrames = 1 << 16;

}  // namespace

CFlacDecoder::~CFlacDecoder() {
  Close();
}

void CFlacDecoder::Close() {
  if (decoder_ != nullptr) FLAC__stream_decoder_delete(decoder_);
  decoder_ = nullptr;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  memory_ = nullptr;
  memorySize_ = 0;
  position_ = 0;
  parsed_ = failed_ = false;
  info_ = StreamInfo{};
  comments_.clear();
  block_.clear();
  blockStart_ = blockFrames_ = 0;
}

bool CFlacDecoder::OpenFile(const std::string& path) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  ParseStream();
  return true;
}

void CFlacDecoder::OpenMemory(const void* image, std::size_t size) {
  Close();
  memory_ = static_cast<const std::uint8_t*>(image);
  memorySize_ = size;
  ParseStream();
}

std::uint64_t CFlacDecoder::Size() const {
  if (memory_ != nullptr) return memorySize_;
  struct stat st {};
  if (fd_ < 0 || fstat(fd_, &st) != 0) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

void CFlacDecoder::ParseStream() {
  decoder_ = FLAC__stream_decoder_new();
  if (decoder_ == nullptr) return;
  FLAC__stream_decoder_set_metadata_respond(decoder_, FLAC__METADATA_TYPE_VORBIS_COMMENT);
  if (FLAC__stream_decoder_init_stream(decoder_, OnRead, OnSeek, OnTell, OnLength, OnEof, OnWrite,
                                       OnMetadata, OnError,
                                       this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    return;
  }
  failed_ = false;
  if (!FLAC__stream_decoder_process_until_end_of_metadata(decoder_) || failed_ ||
      info_.channels == 0) {
    return;
  }
  if (info_.totalFrames == 0) {
    // No count in the header: the stream is decoded once to count it.
    std::uint64_t frames = 0;
    while (DecodeNextBlock())
      frames += blockFrames_;
    if (failed_ || !Rewind()) return;
    info_.totalFrames = frames;
  }
  parsed_ = true;
}

bool CFlacDecoder::Rewind() {
  block_.clear();
  blockStart_ = blockFrames_ = 0;
  failed_ = false;
  if (!FLAC__stream_decoder_reset(decoder_)) return false;
  // Metadata is not reported again: what the first pass read stays.
  FLAC__stream_decoder_set_metadata_ignore_all(decoder_);
  return FLAC__stream_decoder_process_until_end_of_metadata(decoder_) && !failed_;
}

bool CFlacDecoder::DecodeNextBlock() {
  const std::uint64_t next = blockStart_ + blockFrames_;
  blockFrames_ = 0;
  blockStart_ = next;
  if (!FLAC__stream_decoder_process_single(decoder_) || failed_) return false;
  return blockFrames_ > 0;
}

bool CFlacDecoder::Seek(std::uint64_t frame) {
  const std::uint64_t end = blockStart_ + blockFrames_;
  if (frame >= blockStart_ && frame <= end + kDecodeThroughFrames) return true;
  blockFrames_ = 0;
  if (FLAC__stream_decoder_seek_absolute(decoder_, frame) && !failed_) return true;
  // A failed seek leaves the decoder to be reset; decoding from the start
  // then reaches the frame.
  return Rewind();
}

bool CFlacDecoder::ReadFrames(std::uint64_t first, std::uint64_t count, std::int32_t* out) {
  if (!parsed_ || first + count > info_.totalFrames) return false;
  if (!Seek(first)) return false;
  const std::uint64_t channels = info_.channels;
  std::uint64_t frame = first;
  while (frame < first + count) {
    if (frame >= blockStart_ + blockFrames_ && !DecodeNextBlock()) return false;
    if (frame < blockStart_) return false;  // the stream skipped frames
    if (frame >= blockStart_ + blockFrames_) continue;
    const std::uint64_t offset = frame - blockStart_;
    const std::uint64_t take = std::min(blockFrames_ - offset, first + count - frame);
    std::copy_n(block_.data() + offset * channels, take * channels,
                out + (frame - first) * channels);
    frame += take;
  }
  return true;
}

FLAC__StreamDecoderReadStatus CFlacDecoder::OnRead(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                                   std::size_t* bytes, void* self) {
  auto& me = *static_cast<CFlacDecoder*>(self);
  if (me.memory_ != nullptr) {
    const std::size_t left =
        me.position_ < me.memorySize_ ? me.memorySize_ - static_cast<std::size_t>(me.position_) : 0;
    *bytes = std::min(*bytes, left);
    std::memcpy(buffer, me.memory_ + me.position_, *bytes);
  } else {
    ssize_t n;
    do {
      n = ::pread(me.fd_, buffer, *bytes, static_cast<off_t>(me.position_));
    } while (n < 0 && errno == EINTR);
    if (n < 0) return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    *bytes = static_cast<std::size_t>(n);
  }
  me.position_ += *bytes;
  return *bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM
                     : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
}

FLAC__StreamDecoderSeekStatus CFlacDecoder::OnSeek(const FLAC__StreamDecoder*, FLAC__uint64 offset,
                                                   void* self) {
  auto& me = *static_cast<CFlacDecoder*>(self);
  if (offset > me.Size()) return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
  me.position_ = offset;
  return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
}

FLAC__StreamDecoderTellStatus CFlacDecoder::OnTell(const FLAC__StreamDecoder*, FLAC__uint64* offset,
                                                   void* self) {
  *offset = static_cast<CFlacDecoder*>(self)->position_;
  return FLAC__STREAM_DECODER_TELL_STATUS_OK;
}

FLAC__StreamDecoderLengthStatus CFlacDecoder::OnLength(const FLAC__StreamDecoder*,
                                                       FLAC__uint64* length, void* self) {
  *length = static_cast<CFlacDecoder*>(self)->Size();
  return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
}

FLAC__bool CFlacDecoder::OnEof(const FLAC__StreamDecoder*, void* self) {
  auto& me = *static_cast<CFlacDecoder*>(self);
  return me.position_ >= me.Size();
}

FLAC__StreamDecoderWriteStatus CFlacDecoder::OnWrite(const FLAC__StreamDecoder*,
                                                     const FLAC__Frame* frame,
                                                     const FLAC__int32* const buffer[],
                                                     void* self) {
  auto& me = *static_cast<CFlacDecoder*>(self);
  const std::uint32_t channels = me.info_.channels;
  // A frame that changes the stream's layout cannot be delivered in its format.
  if (frame->header.channels != channels ||
      frame->header.bits_per_sample != me.info_.bitsPerSample) {
    me.failed_ = true;
    return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
  }
  const std::uint32_t frames = frame->header.blocksize;
  me.block_.resize(std::size_t{frames} * channels);
  for (std::uint32_t i = 0; i < frames; ++i) {
    for (std::uint32_t c = 0; c < channels; ++c)
      me.block_[std::size_t{i} * channels + c] = buffer[c][i];
  }
  // libFLAC numbers every frame by its first sample, after a seek too.
  me.blockStart_ = frame->header.number.sample_number;
  me.blockFrames_ = frames;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}

void CFlacDecoder::OnMetadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* metadata,
                              void* self) {
  auto& me = *static_cast<CFlacDecoder*>(self);
  if (metadata->type == FLAC__METADATA_TYPE_STREAMINFO) {
    const auto& info = metadata->data.stream_info;
    me.info_ = {info.channels, info.sample_rate, info.bits_per_sample, info.total_samples};
  } else if (metadata->type == FLAC__METADATA_TYPE_VORBIS_COMMENT) {
    const auto& vc = metadata->data.vorbis_comment;
    for (FLAC__uint32 i = 0; i < vc.num_comments; ++i) {
      me.comments_.emplace_back(reinterpret_cast<const char*>(vc.comments[i].entry),
                                vc.comments[i].length);
    }
  }
}

void CFlacDecoder::OnError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* self) {
  static_cast<CFlacDecoder*>(self)->failed_ = true;
}
