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

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::uint32_t SyncSafe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] & 0x7F) << 21 |
         static_cast<std::uint32_t>(p[1] & 0x7F) << 14 |
         static_cast<std::uint32_t>(p[2] & 0x7F) << 7 | (p[3] & 0x7F);
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

constexpr std::uint8_t kDopMarkers[2] = {0x05, 0xFA};

}  // namespace

int32_t CFileInfo_DSF::NameA(char* buffer, int32_t length) {
  return CopyNarrow("DSF Plugin", buffer, length);
}
int32_t CFileInfo_DSF::ExtensionsA(char* buffer, int32_t length) {
  return CopyNarrow("DSF", buffer, length);
}
int32_t CFileInfo_DSF::VersionA(char* buffer, int32_t length) {
  return CopyNarrow("1.0.2", buffer, length);
}
int32_t CFileInfo_DSF::NameW(char16_t* buffer, int32_t length) {
  return CopyWide(u"DSF Plugin", buffer, length);
}
int32_t CFileInfo_DSF::ExtensionsW(char16_t* buffer, int32_t length) {
  return CopyWide(u"DSF", buffer, length);
}
int32_t CFileInfo_DSF::VersionW(char16_t* buffer, int32_t length) {
  return CopyWide(u"1.0.2", buffer, length);
}

int32_t CFileInfo_DSF::Alignment(int32_t* frames) {
  *frames = kAlignmentFrames;
  return PPI_OK;
}

void CFileInfo_DSF::ParseHeaders() {
  std::uint8_t header[92];
  Seek(0);
  // The fields are read one after another; a wrong identifier stops parsing
  // with what was read so far.
  if (!ReadExact(header, 12) || std::memcmp(header, "DSD ", 4) != 0) return;
  if (!ReadExact(header + 12, 16)) return;
  totalFileSize_ = LittleEndian(header + 12, 8);
  const std::uint64_t metadataOffset = LittleEndian(header + 20, 8);
  if (!ReadExact(header + 28, 12) || std::memcmp(header + 28, "fmt ", 4) != 0) return;
  if (!ReadExact(header + 40, 40)) return;
  const auto channels = static_cast<std::uint32_t>(LittleEndian(header + 52, 4));
  const auto frequency = static_cast<std::uint32_t>(LittleEndian(header + 56, 4));
  const auto bitsPerSample = static_cast<std::uint32_t>(LittleEndian(header + 60, 4));
  const std::uint64_t sampleCount = LittleEndian(header + 64, 8);
  const auto blockSize = static_cast<std::uint32_t>(LittleEndian(header + 72, 4));

  // Layouts this parser cannot convert are treated like a file that did not
  // parse: no channels, no rate, no data, so the player refuses them.
  if (channels == 0 || channels > kMaxChannels || blockSize != kBlockSize) return;
  channels_ = static_cast<std::uint16_t>(channels);
  samplingFrequency_ = frequency;
  channelMask_ = (1u << channels) - 1;

  if (!ReadExact(header + 80, 12) || std::memcmp(header + 80, "data", 4) != 0) return;
  // 1-bit data stores the earliest sample in the lowest bit, 8-bit data in
  // the highest; either way a byte holds eight samples of one channel.
  if (bitsPerSample != 1 && bitsPerSample != 8) return;
  if (sampleCount > std::numeric_limits<std::uint64_t>::max() / channels) return;
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
    RebuildTagDictionary();
  }
  Seek(dataOffset_);
}

void CFileInfo_DSF::ReadId3Tag(std::uint64_t offset) {
  const std::uint64_t sourceSize = SourceSize();
  std::uint8_t header[10];
  Seek(offset);
  if (!ReadExact(header, 10) || std::memcmp(header, "ID3", 3) != 0) return;
  const std::uint8_t version = header[3];
  if (version != 3 && version != 4) return;
  std::uint64_t remaining = SyncSafe32(header + 6);
  std::uint64_t position = offset + 10;  // where the frames begin

  if (header[5] & 0x40) {  // extended header
    std::uint8_t size[4];
    if (!ReadExact(size, 4)) return;
    if (version == 3) {
      const std::uint32_t extendedSize = BigEndian32(size);
      if (extendedSize != 6 && extendedSize != 10) return;
      std::uint8_t extended[10];
      if (!ReadExact(extended, extendedSize)) return;
      const std::uint64_t padding = BigEndian32(extended + 2);
      if (padding + 4 + extendedSize > remaining) return;  // would underflow: no tags
      remaining -= padding + 4 + extendedSize;
      position += 4 + extendedSize;
    } else {
      const std::uint32_t extendedSize = SyncSafe32(size);
      if (extendedSize < 4 || extendedSize > remaining) return;
      // Skipped unread, so its size (up to 256 MiB) is only checked
      // against the file, never allocated.
      if (position + extendedSize > sourceSize) return;
      remaining -= extendedSize;
      position += extendedSize;
    }
  }

  struct Wanted {
    const char* id;
    TagText* text;
    bool found;
  } wanted[] = {{"TIT2", &title_, false},
                {"TPE1", &artist_, false},
                {"TALB", &album_, false},
                {"TRCK", &track_, false}};
  const std::uint8_t skipFlags = version == 3 ? 0x80 | 0x40 | 0x20 : 0x08 | 0x04 | 0x40;
  auto allFound = [&] {
    for (const auto& w : wanted) {
      if (!w.found) return false;
    }
    return true;
  };
  // A tag never reaches past the end of the file, whatever its size says.
  if (position >= sourceSize) return;
  remaining = std::min(remaining, sourceSize - position);

  while (remaining >= 10 && !allFound()) {
    Seek(position);
    std::uint8_t frame[10];
    if (!ReadExact(frame, 10)) return;
    remaining -= 10;
    position += 10;
    const std::uint32_t frameSize = version == 3 ? BigEndian32(frame + 4) : SyncSafe32(frame + 4);
    if (frameSize > remaining) return;
    const bool flagged = (frame[9] & skipFlags) != 0;
    for (auto& w : wanted) {
      if (std::memcmp(frame, w.id, 4) != 0) continue;
      w.found = true;
      if (flagged || frameSize == 0 || !w.text->bytes.empty()) break;
      std::string body(frameSize, '\0');
      if (!ReadExact(body.data(), body.size())) return;
      w.text->encoding = static_cast<std::uint8_t>(body[0]);
      w.text->bytes = body.substr(1) + std::string(2, '\0');
      break;
    }
    remaining -= frameSize;
    position += frameSize;
  }
}

template <typename Emit>
int32_t CFileInfo_DSF::ReadRange(void** data, uint32_t* size, Emit emit) {
  const std::uint64_t channels = channels_;
  if (channels == 0 || count_ <= 0 || first_ < 0) return PPI_E_FAIL;
  // A range reaching past the data delivers what there is; the buffer is
  // never larger than the data the file holds.
  const std::uint64_t frames = heldBytes_ / channels / bytesPerFrame_;
  if (static_cast<std::uint64_t>(first_) >= frames) return PPI_E_FAIL;
  const std::int64_t count = static_cast<std::int64_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(count_), frames - first_));
  const std::uint64_t bufferSize = channels * static_cast<std::uint64_t>(count) * 4;
  if (bufferSize > std::numeric_limits<uint32_t>::max()) return PPI_E_FAIL;
  std::uint8_t* out = NewDeliveredBuffer(bufferSize);
  if (out == nullptr) return PPI_E_MEMORY;

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
  return ReadRange(data, size,
                   [](std::uint8_t* out, const std::uint8_t(*bytes)[4], std::uint64_t channels) {
                     for (std::uint64_t c = 0; c < channels; ++c, out += 4)
                       std::memcpy(out, bytes[c], 4);
                     return out;
                   });
}

int32_t CFileInfo_DSF::ReadDop(void** data, uint32_t* size) {
  int marker = 0;  // every read starts with 0x05
  return ReadRange(
      data, size,
      [&marker](std::uint8_t* out, const std::uint8_t(*bytes)[4], std::uint64_t channels) {
        for (std::uint64_t c = 0; c < channels; ++c, out += 4) {
          out[0] = 0;
          out[1] = bytes[c][1];
          out[2] = bytes[c][0];
          out[3] = kDopMarkers[marker];
        }
        marker ^= 1;
        return out;
      });
}
