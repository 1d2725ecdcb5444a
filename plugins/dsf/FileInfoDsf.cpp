#include "plugins/dsf/FileInfoDsf.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/ByteOrder.h"
#include "plugins/common/BitReversal.h"

namespace {

constexpr std::uint64_t kDataOffset = 92;

std::uint64_t LittleEndian(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = value << 8 | p[i];
  return value;
}

// Block groups are read this many bytes at a time at most (whole groups,
// at least one): few reads, and a buffer that stays in the cache.
constexpr std::uint64_t kReadBytes = 256 * 1024;

// One delivered word from a channel's bytes of one frame, earliest sample
// in the highest bit: raw, its four bytes in time order; DoP, 0, the later
// byte, the earlier byte, then the marker of `phase`.
template <bool Dop>
std::uint32_t DeliveredWord(const std::uint8_t* bytes, std::uint32_t phase) {
  if constexpr (!Dop) {
    return platform::LoadLittleEndian<std::uint32_t>(bytes);
  } else {
    const std::uint32_t pair = platform::LoadLittleEndian<std::uint16_t>(bytes);
    const std::uint32_t marker = phase == 0 ? 0x05u : 0xFAu;
    return (pair & 0xFF00u) | (pair & 0xFFu) << 16 | marker << 24;
  }
}

// `frames` frames from each channel's block at `offset`, frame after frame,
// channel after channel; DoP phases count from `phase`. Channels 0: the
// count given, else that many (the compiler lays out the common counts).
template <bool Dop, std::uint32_t Channels>
void DeliverFrames(const std::uint8_t* const* blocks, std::uint32_t channels, std::size_t offset,
                   std::size_t frames, std::uint32_t phase, std::uint8_t* out) {
  if constexpr (Channels != 0) channels = Channels;
  constexpr std::size_t kBytes = Dop ? 2 : 4;
  for (std::size_t f = 0; f < frames; ++f) {
    const std::uint32_t framePhase = (phase + static_cast<std::uint32_t>(f)) & 1;
    for (std::uint32_t c = 0; c < channels; ++c) {
      platform::StoreLittleEndian(out + (f * channels + c) * 4,
                                  DeliveredWord<Dop>(blocks[c] + offset + f * kBytes, framePhase));
    }
  }
}

template <bool Dop>
void DeliverFramesOf(const std::uint8_t* const* blocks, std::uint32_t channels, std::size_t offset,
                     std::size_t frames, std::uint32_t phase, std::uint8_t* out) {
  switch (channels) {
    case 1:
      return DeliverFrames<Dop, 1>(blocks, channels, offset, frames, phase, out);
    case 2:
      return DeliverFrames<Dop, 2>(blocks, channels, offset, frames, phase, out);
    case 6:
      return DeliverFrames<Dop, 6>(blocks, channels, offset, frames, phase, out);
    default:
      return DeliverFrames<Dop, 0>(blocks, channels, offset, frames, phase, out);
  }
}

}  // namespace

CFileInfo_DSF::CFileInfo_DSF()
    : CFileInfo_DSD(Identity{"DSF Plugin", "DSF", "1.0.2", kAlignmentFrames}) {}

int32_t CFileInfo_DSF::ParseHeaders() {
  std::uint8_t header[92];
  Seek(0);
  // The fields are read one after another; a wrong identifier stops parsing
  // with what was read so far.
  if (!ReadExact(header, 12) || std::memcmp(header, "DSD ", 4) != 0) return PPI_OK;
  if (!ReadExact(header + 12, 16)) return PPI_OK;
  totalFileSize_ = LittleEndian(header + 12, 8);
  const std::uint64_t metadataOffset = LittleEndian(header + 20, 8);
  if (!ReadExact(header + 28, 12) || std::memcmp(header + 28, "fmt ", 4) != 0) return PPI_OK;
  if (!ReadExact(header + 40, 40)) return PPI_OK;
  const auto channels = static_cast<std::uint32_t>(LittleEndian(header + 52, 4));
  const auto frequency = static_cast<std::uint32_t>(LittleEndian(header + 56, 4));
  const auto bitsPerSample = static_cast<std::uint32_t>(LittleEndian(header + 60, 4));
  const std::uint64_t sampleCount = LittleEndian(header + 64, 8);
  const auto blockSize = static_cast<std::uint32_t>(LittleEndian(header + 72, 4));

  // Layouts this parser cannot convert are treated like a file that did not
  // parse: no channels, no rate, no data, so the player refuses them.
  if (channels == 0 || channels > kMaxChannels || blockSize != kBlockSize) return PPI_OK;
  channels_ = static_cast<std::uint16_t>(channels);
  samplingFrequency_ = frequency;
  channelMask_ = (1u << channels) - 1;

  if (!ReadExact(header + 80, 12) || std::memcmp(header + 80, "data", 4) != 0) return PPI_OK;
  // 1-bit data stores the earliest sample in the lowest bit, 8-bit data in
  // the highest; either way a byte holds eight samples of one channel.
  if (bitsPerSample != 1 && bitsPerSample != 8) return PPI_OK;
  if (sampleCount > std::numeric_limits<std::uint64_t>::max() / channels) return PPI_OK;
  lsbFirst_ = bitsPerSample == 1;
  dataFound_ = true;
  dataOffset_ = kDataOffset;
  dataBytes_ = channels * sampleCount / 8;
  // A header may claim any size: what plays is the block groups the file
  // really holds (a last group cut short still counts, its missing bytes
  // read as zeros), so nothing is ever sized by the claim alone.
  const std::uint64_t groupBytes = std::uint64_t{kBlockSize} * channels;
  const std::uint64_t held = SourceSize() > dataOffset_ ? SourceSize() - dataOffset_ : 0;
  heldBytes_ = std::min(dataBytes_, (held + groupBytes - 1) / groupBytes * groupBytes);
  if (metadataOffset != 0) {
    ReadId3Tag(metadataOffset);
    tags_.RebuildDictionary();
  }
  Seek(dataOffset_);
  return PPI_OK;
}

template <bool Dop>
int32_t CFileInfo_DSF::ReadRange(void** data, uint32_t* size) {
  const std::uint64_t channels = channels_;
  std::int64_t count = 0;
  std::uint8_t* out = nullptr;
  std::uint64_t bufferSize = 0;
  if (const int32_t result = BeginRange(&count, &out, &bufferSize); result != PPI_OK) return result;

  // Frames of one block; a range that does not start on a block boundary
  // starts inside its block rather than shifting every channel's data.
  const std::uint64_t framesPerBlock = kBlockSize / bytesPerFrame_;
  const std::uint64_t firstGroup = static_cast<std::uint64_t>(first_) / framesPerBlock;
  std::uint64_t offset = static_cast<std::uint64_t>(first_) % framesPerBlock * bytesPerFrame_;
  const std::uint64_t groupBytes = std::uint64_t{kBlockSize} * channels;
  const std::uint64_t groupsLeftToRead =
      (offset / bytesPerFrame_ + static_cast<std::uint64_t>(count) + framesPerBlock - 1) /
      framesPerBlock;
  const std::uint64_t groupsPerRead =
      std::min(std::max<std::uint64_t>(kReadBytes / groupBytes, 1), groupsLeftToRead);
  // Every byte of it is read or zeroed before use.
  if (readBuffer_.size() < groupsPerRead * groupBytes)
    readBuffer_.resize(groupsPerRead * groupBytes);
  std::uint8_t* const groups = readBuffer_.data();
  Seek(dataOffset_ + firstGroup * groupBytes);

  std::uint64_t framesLeft = static_cast<std::uint64_t>(count);
  std::uint32_t phase = 0;  // DoP markers alternate from 0x05 at the start of every delivery
  std::uint8_t* cursor = out;
  for (std::uint64_t groupsToRead = groupsLeftToRead; framesLeft > 0;) {
    const std::uint64_t readGroups = std::min(groupsPerRead, groupsToRead);
    const std::size_t readBytes = readGroups * groupBytes;
    const std::int64_t got = ReadSome(groups, readBytes);
    if (got <= 0) return PPI_E_FAIL;
    // A last group cut short reads as zeros, never stale data.
    std::memset(groups + got, 0, readBytes - static_cast<std::size_t>(got));
    groupsToRead -= readGroups;
    for (std::uint64_t g = 0; g < readGroups && framesLeft > 0; ++g) {
      // Reversed a group at a time, while it is still in the nearest cache.
      if (lsbFirst_) ppi::ReverseBitsInBytes(groups + g * groupBytes, groupBytes);
      const std::uint8_t* blocks[kMaxChannels];
      for (std::uint64_t c = 0; c < channels; ++c)
        blocks[c] = groups + g * groupBytes + c * kBlockSize;
      const std::uint64_t frames = std::min((kBlockSize - offset) / bytesPerFrame_, framesLeft);
      DeliverFramesOf<Dop>(blocks, static_cast<std::uint32_t>(channels), offset, frames, phase,
                           cursor);
      cursor += frames * channels * 4;
      phase = static_cast<std::uint32_t>((phase + frames) & 1);
      framesLeft -= frames;
      offset = 0;
    }
  }
  *data = out;
  *size = static_cast<uint32_t>(bufferSize);
  return PPI_OK;
}

int32_t CFileInfo_DSF::ReadRawWords(void** data, uint32_t* size) {
  return ReadRange<false>(data, size);
}

int32_t CFileInfo_DSF::ReadDop(void** data, uint32_t* size) {
  return ReadRange<true>(data, size);
}
