#include "plugins/dsf/FileInfoDsf.h"

#include <array>
#include <cstring>
#include <limits>

namespace {

constexpr std::uint64_t kDataOffset = 92;

std::uint64_t LittleEndian(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = value << 8 | p[i];
  return value;
}

constexpr std::array<std::uint8_t, 256> MakeBitReversal() {
  std::array<std::uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    int reversed = 0;
    for (int bit = 0; bit < 8; ++bit)
      reversed |= ((i >> bit) & 1) << (7 - bit);
    table[i] = static_cast<std::uint8_t>(reversed);
  }
  return table;
}
constexpr std::array<std::uint8_t, 256> kReversed = MakeBitReversal();

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

template <typename Emit>
int32_t CFileInfo_DSF::ReadRange(void** data, uint32_t* size, Emit emit) {
  const std::uint64_t channels = channels_;
  std::int64_t count = 0;
  std::uint8_t* out = nullptr;
  std::uint64_t bufferSize = 0;
  if (const int32_t result = BeginRange(&count, &out, &bufferSize); result != PPI_OK) return result;

  // Frames of one block; a range that does not start on a block boundary
  // starts inside its block rather than shifting every channel's data.
  const std::uint64_t framesPerBlock = kBlockSize / bytesPerFrame_;
  const std::uint64_t group = static_cast<std::uint64_t>(first_) / framesPerBlock;
  std::uint64_t offset = static_cast<std::uint64_t>(first_) % framesPerBlock * bytesPerFrame_;
  Seek(dataOffset_ + group * kBlockSize * channels);

  std::uint8_t blocks[kMaxChannels][kBlockSize];
  std::uint8_t frameBytes[kMaxChannels][4];
  std::int64_t framesLeft = count;
  std::uint8_t* cursor = out;
  while (framesLeft > 0) {
    for (std::uint64_t c = 0; c < channels; ++c) {
      const std::int64_t got = ReadSome(blocks[c], kBlockSize);
      if (got <= 0) return PPI_E_FAIL;
      // A last block cut short reads as silence-free zeros, never stale data.
      std::memset(blocks[c] + got, 0, kBlockSize - static_cast<std::size_t>(got));
    }
    for (; offset < kBlockSize && framesLeft > 0; offset += bytesPerFrame_, --framesLeft) {
      for (std::uint64_t c = 0; c < channels; ++c) {
        for (std::uint32_t b = 0; b < bytesPerFrame_; ++b) {
          const std::uint8_t byte = blocks[c][offset + b];
          frameBytes[c][b] = lsbFirst_ ? kReversed[byte] : byte;
        }
      }
      cursor = emit(cursor, frameBytes, channels);
    }
    offset = 0;
  }
  *data = out;
  *size = static_cast<uint32_t>(bufferSize);
  return PPI_OK;
}

int32_t CFileInfo_DSF::ReadRawWords(void** data, uint32_t* size) {
  return ReadRange(data, size, RawWordPacker{});
}

int32_t CFileInfo_DSF::ReadDop(void** data, uint32_t* size) {
  return ReadRange(data, size, DopPacker{});
}
