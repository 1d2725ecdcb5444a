#include "plugins/dff/FileInfoDff.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr std::uint64_t kChunkHeaderBytes = 12;
// Sample data is read in pieces of this many bytes at most.
constexpr std::uint64_t kReadPieceBytes = 1 << 20;

std::uint64_t BigEndian(const std::uint8_t* p, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value = value << 8 | p[i];
  return value;
}

// DSD64 to DSD512 of either base rate.
bool IsDsdRate(std::uint32_t rate) {
  for (const std::uint32_t base : {44100u * 64, 48000u * 64}) {
    for (const std::uint32_t multiple : {1u, 2u, 4u, 8u}) {
      if (rate == base * multiple) return true;
    }
  }
  return false;
}

}  // namespace

CFileInfo_DFF::CFileInfo_DFF()
    : CFileInfo_DSD(Identity{"DFF Plugin", "DFF", "1.0.0", kAlignmentFrames}) {}

bool CFileInfo_DFF::ReadChunkHeader(std::uint64_t offset, std::uint64_t end, ChunkHeader* chunk,
                                    bool mayOverrun) {
  if (offset > end || end - offset < kChunkHeaderBytes) return false;
  std::uint8_t header[kChunkHeaderBytes];
  Seek(offset);
  if (!ReadExact(header, sizeof header)) return false;
  std::memcpy(chunk->id, header, 4);
  chunk->bodyOffset = offset + kChunkHeaderBytes;
  chunk->size = BigEndian(header + 4, 8);
  return mayOverrun || chunk->size <= end - chunk->bodyOffset;
}

int32_t CFileInfo_DFF::ParseHeaders() {
  const std::uint64_t fileSize = SourceSize();
  ChunkHeader form{};
  std::uint8_t formType[4];
  if (!ReadChunkHeader(0, fileSize, &form, true) || std::memcmp(form.id, "FRM8", 4) != 0 ||
      form.size < 4 || !ReadExact(formType, 4) || std::memcmp(formType, "DSD ", 4) != 0) {
    return PPI_OK;
  }
  // The form ends where it says or where the file does, whichever is first.
  const std::uint64_t formEnd = form.bodyOffset + std::min(form.size, fileSize - form.bodyOffset);

  char compression[4] = {};
  bool haveVersion = false;
  bool haveSound = false;
  std::uint64_t id3Offset = 0, infoOffset = 0, infoEnd = 0;
  for (std::uint64_t at = form.bodyOffset + 4;;) {
    ChunkHeader chunk{};
    const bool sound = [&] {
      ChunkHeader peek{};
      return ReadChunkHeader(at, formEnd, &peek, true) &&
             (std::memcmp(peek.id, "DSD ", 4) == 0 || std::memcmp(peek.id, "DST ", 4) == 0);
    }();
    if (!ReadChunkHeader(at, formEnd, &chunk, sound)) break;
    if (std::memcmp(chunk.id, "FVER", 4) == 0 && chunk.size >= 4) {
      std::uint8_t version[4];
      haveVersion = ReadExact(version, 4) && version[0] == 1;
    } else if (std::memcmp(chunk.id, "PROP", 4) == 0) {
      ReadProperties(chunk.bodyOffset, chunk.bodyOffset + chunk.size, compression);
    } else if (sound) {
      haveSound = std::memcmp(chunk.id, "DSD ", 4) == 0;
      dataOffset_ = chunk.bodyOffset;
      dataBytes_ = chunk.size;
    } else if (std::memcmp(chunk.id, "DIIN", 4) == 0) {
      infoOffset = chunk.bodyOffset;
      infoEnd = chunk.bodyOffset + chunk.size;
    } else if (std::memcmp(chunk.id, "ID3 ", 4) == 0) {
      id3Offset = chunk.bodyOffset;
    }
    // The sound chunk may be the last one and claim more than the file holds.
    if (chunk.size > formEnd - chunk.bodyOffset) break;
    at = chunk.bodyOffset + chunk.size + (chunk.size & 1);
  }

  if (std::memcmp(compression, "DST ", 4) == 0) {
    tags_.dictionary["Error"] = kDstRefusal;
    channels_ = 0;
    return PPI_E_FAIL;
  }
  // Anything else this reader cannot convert reports no stream at all.
  if (!haveVersion || !haveSound || std::memcmp(compression, "DSD ", 4) != 0 || channels_ == 0 ||
      !IsDsdRate(samplingFrequency_)) {
    channels_ = 0;
    samplingFrequency_ = 0;
    dataBytes_ = 0;
    return PPI_OK;
  }
  dataFound_ = true;
  // What plays is the whole byte frames the file holds of what the chunk claims.
  const std::uint64_t held = fileSize > dataOffset_ ? fileSize - dataOffset_ : 0;
  heldBytes_ = std::min(dataBytes_, held) / channels_ * channels_;
  if (id3Offset != 0) ReadId3Tag(id3Offset);
  if (infoOffset != 0) ReadInfoTexts(infoOffset, infoEnd);
  tags_.RebuildDictionary();
  Seek(dataOffset_);
  return PPI_OK;
}

void CFileInfo_DFF::ReadProperties(std::uint64_t offset, std::uint64_t end, char compression[4]) {
  std::uint8_t type[4];
  Seek(offset);
  if (end - offset < 4 || !ReadExact(type, 4) || std::memcmp(type, "SND ", 4) != 0) return;
  ChunkHeader chunk{};
  for (std::uint64_t at = offset + 4; ReadChunkHeader(at, end, &chunk);
       at = chunk.bodyOffset + chunk.size + (chunk.size & 1)) {
    std::uint8_t value[4];
    if (std::memcmp(chunk.id, "FS  ", 4) == 0 && chunk.size >= 4 && ReadExact(value, 4)) {
      samplingFrequency_ = static_cast<std::uint32_t>(BigEndian(value, 4));
    } else if (std::memcmp(chunk.id, "CHNL", 4) == 0 && chunk.size >= 2 && ReadExact(value, 2)) {
      const auto channels = static_cast<std::uint16_t>(BigEndian(value, 2));
      // The channel ids follow, four bytes each.
      if (channels >= 1 && channels <= kMaxChannels && chunk.size >= 2 + 4u * channels) {
        channels_ = channels;
        channelMask_ = (1u << channels) - 1;
      }
    } else if (std::memcmp(chunk.id, "CMPR", 4) == 0 && chunk.size >= 4 && ReadExact(value, 4)) {
      std::memcpy(compression, value, 4);
    }
  }
}

void CFileInfo_DFF::ReadInfoTexts(std::uint64_t offset, std::uint64_t end) {
  ChunkHeader chunk{};
  for (std::uint64_t at = offset; ReadChunkHeader(at, end, &chunk);
       at = chunk.bodyOffset + chunk.size + (chunk.size & 1)) {
    ppi::TagText* text = std::memcmp(chunk.id, "DITI", 4) == 0   ? &tags_.title
                         : std::memcmp(chunk.id, "DIAR", 4) == 0 ? &tags_.artist
                                                                 : nullptr;
    // An ID3 tag's texts come first; DIIN fills only what it left empty.
    if (text == nullptr || !text->bytes.empty() || chunk.size < 4) continue;
    std::uint8_t count[4];
    if (!ReadExact(count, 4)) return;
    const std::uint64_t length = BigEndian(count, 4);
    if (length > chunk.size - 4) continue;
    std::string bytes(length, '\0');
    if (!ReadExact(bytes.data(), bytes.size())) return;
    *text = ppi::IsUtf8(bytes) ? ppi::Utf8Tag(std::move(bytes)) : ppi::Latin1Tag(std::move(bytes));
  }
}

template <typename Emit>
int32_t CFileInfo_DFF::ReadRange(void** data, uint32_t* size, Emit emit) {
  const std::uint64_t channels = channels_;
  std::int64_t count = 0;
  std::uint8_t* out = nullptr;
  std::uint64_t bufferSize = 0;
  if (const int32_t result = BeginRange(&count, &out, &bufferSize); result != PPI_OK) return result;

  // Bytes interleaved per channel: regrouped into each channel's bytes of a
  // frame, never reversed.
  const std::uint64_t frameBytes = channels * bytesPerFrame_;
  const std::uint64_t framesPerPiece = std::max<std::uint64_t>(kReadPieceBytes / frameBytes, 1);
  std::vector<std::uint8_t> piece(framesPerPiece * frameBytes);
  std::uint8_t bytes[kMaxChannels][4] = {};
  Seek(dataOffset_ + static_cast<std::uint64_t>(first_) * frameBytes);
  std::uint8_t* cursor = out;
  for (std::int64_t left = count; left > 0;) {
    const std::uint64_t frames = std::min<std::uint64_t>(framesPerPiece, left);
    if (!ReadExact(piece.data(), frames * frameBytes)) return PPI_E_FAIL;
    for (std::uint64_t f = 0; f < frames; ++f) {
      const std::uint8_t* frame = piece.data() + f * frameBytes;
      for (std::uint32_t b = 0; b < bytesPerFrame_; ++b) {
        for (std::uint64_t c = 0; c < channels; ++c)
          bytes[c][b] = frame[b * channels + c];
      }
      cursor = emit(cursor, bytes, channels);
    }
    left -= static_cast<std::int64_t>(frames);
  }
  *data = out;
  *size = static_cast<uint32_t>(bufferSize);
  return PPI_OK;
}

int32_t CFileInfo_DFF::ReadRawWords(void** data, uint32_t* size) {
  return ReadRange(data, size, RawWordPacker{});
}

int32_t CFileInfo_DFF::ReadDop(void** data, uint32_t* size) {
  return ReadRange(data, size, DopPacker{});
}
