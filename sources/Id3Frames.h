#pragma once

// Walking the frames of an ID3v2 tag, header-only so the plug-ins read their
// tags with the same code as the player. Every version lays its frame
// headers out differently: 2.2 has three-byte ids and sizes, 2.3 four-byte
// ids, plain sizes and two flag bytes, 2.4 the same with sizes of seven
// bits a byte. Reading a 2.4 size as a plain number throws the walk off at
// the first frame of 128 bytes or more.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace id3 {

inline constexpr std::size_t kTagHeaderBytes = 10;

// A 28-bit size stored as four bytes of seven bits, most significant first.
constexpr std::uint32_t SyncSafe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0] & 0x7F) << 21 |
         static_cast<std::uint32_t>(bytes[1] & 0x7F) << 14 |
         static_cast<std::uint32_t>(bytes[2] & 0x7F) << 7 |
         static_cast<std::uint32_t>(bytes[3] & 0x7F);
}

constexpr std::uint32_t BigEndian(const std::uint8_t* bytes, std::size_t count) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i)
    value = value << 8 | bytes[i];
  return value;
}

// One version's frame header, and the ids of the text frames we read.
struct FrameLayout {
  std::uint8_t majorVersion;
  std::size_t idBytes;
  std::size_t sizeBytes;
  std::size_t headerBytes;
  bool syncSafeSize;
  std::string_view title, artist, album, track;
};
inline constexpr FrameLayout kLayoutV22{2, 3, 3, 6, false, "TT2", "TP1", "TAL", "TRK"};
inline constexpr FrameLayout kLayoutV23{3, 4, 4, 10, false, "TIT2", "TPE1", "TALB", "TRCK"};
inline constexpr FrameLayout kLayoutV24{4, 4, 4, 10, true, "TIT2", "TPE1", "TALB", "TRCK"};

// The tag header at `header` (kTagHeaderBytes): "ID3", the major and minor
// version, flags, the sync-safe size of everything after the header.
struct TagHeader {
  bool present = false;
  const FrameLayout* layout = nullptr;  // null: a version we cannot read
  std::uint8_t flags = 0;
  std::uint32_t size = 0;
};
constexpr TagHeader ParseTagHeader(const std::uint8_t* header) {
  if (header[0] != 'I' || header[1] != 'D' || header[2] != '3') return {};
  TagHeader tag;
  tag.present = true;
  tag.flags = header[5];
  tag.size = SyncSafe32(header + 6);
  switch (header[3]) {
    case 2:
      tag.layout = &kLayoutV22;
      break;
    case 3:
      tag.layout = &kLayoutV23;
      break;
    case 4:
      tag.layout = &kLayoutV24;
      break;
    default:
      break;
  }
  return tag;
}

struct Frame {
  std::string_view id;
  std::uint64_t bodyOffset = 0;
  std::uint64_t size = 0;
  std::uint16_t flags = 0;  // status byte, then format byte; none in 2.2
};

// Hands each frame lying wholly in [begin, end) to `visit(frame)`, which
// returns false to stop. `readHeader(offset, bytes, count)` fills `bytes`
// with the `count` bytes at `offset` and returns false when it cannot.
// The walk stops at padding (a zero byte where an id should be), at a frame
// that runs past `end`, and at a header it cannot read; no size is trusted
// beyond `end`.
template <typename ReadHeader, typename Visit>
void WalkFrames(std::uint64_t begin, std::uint64_t end, const FrameLayout& layout,
                ReadHeader readHeader, Visit visit) {
  std::uint8_t header[10];
  std::uint64_t at = begin;
  while (at < end && end - at >= layout.headerBytes) {
    if (!readHeader(at, header, layout.headerBytes) || header[0] == 0) return;
    const std::uint64_t size = layout.syncSafeSize
                                   ? SyncSafe32(header + layout.idBytes)
                                   : BigEndian(header + layout.idBytes, layout.sizeBytes);
    if (size > end - at - layout.headerBytes) return;
    Frame frame;
    frame.id = std::string_view(reinterpret_cast<const char*>(header), layout.idBytes);
    frame.bodyOffset = at + layout.headerBytes;
    frame.size = size;
    if (layout.headerBytes == 10)
      frame.flags = static_cast<std::uint16_t>(header[8] << 8 | header[9]);
    at = frame.bodyOffset + size;
    if (!visit(frame)) return;
  }
}

}  // namespace id3
