#include "sources/Mp3Tags.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string_view>
#include <vector>

#include "sources/Id3Text.h"
#include "sources/SmartFileReader.h"

namespace {

constexpr std::uint32_t kId3HeaderBytes = 10;
constexpr std::uint32_t kId3v1Bytes = 128;
constexpr std::uint32_t kId3v1PlusBytes = 355;
constexpr std::uint32_t kId3v1FieldBytes = 30;

std::uint32_t BigEndian(const std::uint8_t* p, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value = value << 8 | p[i];
  return value;
}

// The body of one frame, as much of it as the reader's window holds.
std::vector<std::uint8_t> FetchBody(CSmartFileReader& reader, std::uint64_t offset,
                                    std::uint64_t size) {
  const auto bytes =
      reader.FetchAt(offset, static_cast<std::uint32_t>(std::min<std::uint64_t>(size, UINT32_MAX)));
  return {bytes.begin(), bytes.end()};
}

// Text frame body: an encoding byte, then the text. Empty frames stay empty.
std::wstring TextOf(const std::vector<std::uint8_t>& body) {
  if (body.empty()) return {};
  return DecodeId3Text(body.data() + 1, body.size() - 1, body[0]);
}

// The values of an "iTunSMPB" comment body (encoding byte, language,
// description, text), or nothing when the comment is another one. Every
// byte read lies inside the body.
ITunSmpb ParseITunSmpb(const std::vector<std::uint8_t>& body) {
  static constexpr std::string_view kName = "iTunSMPB";
  ITunSmpb smpb;
  if (body.size() < 4 + kName.size() || body[0] != 0) return smpb;
  if (std::memcmp(body.data() + 4, kName.data(), kName.size()) != 0) return smpb;
  std::size_t at = 4 + kName.size();
  if (at < body.size() && body[at] == 0) ++at;  // the description's terminator

  std::vector<std::uint64_t> numbers;
  while (at < body.size() && body[at] != 0 && numbers.size() < 4) {
    if (body[at] == ' ') {
      ++at;
      continue;
    }
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; at < body.size() && body[at] != ' ' && body[at] != 0; ++at, ++digits) {
      const char c = static_cast<char>(body[at]);
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      // More than 16 hex digits cannot be a 64-bit count; not a comment we trust.
      if (digit < 0 || digits >= 16) return smpb;
      value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    numbers.push_back(value);
  }
  if (numbers.size() < 4) return smpb;
  smpb.present = true;
  smpb.delay = numbers[1];
  smpb.padding = numbers[2];
  smpb.sampleCount = numbers[3];
  return smpb;
}

// How one version lays out its frame headers: identifier, then a big-endian
// size (seven bits a byte in 2.4), then (2.3 and 2.4) two flag bytes.
struct FrameLayout {
  std::size_t idBytes;
  int sizeBytes;
  std::size_t headerBytes;
  bool syncSafeSize;
};
constexpr FrameLayout kFramesV22{3, 3, 6, false};
constexpr FrameLayout kFramesV23{4, 4, 10, false};
constexpr FrameLayout kFramesV24{4, 4, 10, true};

// Hands each frame of the tag that fits in it to `visit(id, bodyOffset,
// size)`, fetching one header at a time; stops at padding (a zero byte
// where an identifier should be) or at a frame that runs past the tag.
template <typename Visit>
void WalkFrames(CSmartFileReader& reader, std::uint64_t tagEnd, const FrameLayout& layout,
                Visit visit) {
  std::uint64_t at = kId3HeaderBytes;
  while (tagEnd - at > layout.headerBytes - 1) {
    const auto header = reader.FetchAt(at, static_cast<std::uint32_t>(layout.headerBytes));
    if (header.size() < layout.headerBytes || header[0] == 0) break;
    const std::uint64_t size = layout.syncSafeSize
                                   ? Id3SyncSafe32(&header[layout.idBytes])
                                   : BigEndian(&header[layout.idBytes], layout.sizeBytes);
    if (size + layout.headerBytes > tagEnd - at) break;
    const std::string id(header.begin(), header.begin() + layout.idBytes);
    const std::uint64_t body = at + layout.headerBytes;
    at = body + size;
    if (size > 0) visit(std::string_view(id), body, size);
  }
}

std::wstring Id3v1Field(const std::uint8_t* bytes) {
  std::wstring text = DecodeId3Text(bytes, kId3v1FieldBytes, 0);
  text.erase(text.find_last_not_of(L' ') + 1);
  return text;
}

}  // namespace

std::int32_t LeadingNumber(const std::wstring& text) {
  const long value = std::wcstol(text.c_str(), nullptr, 10);
  return static_cast<std::int32_t>(std::clamp<long>(value, std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max()));
}

Id3v2Tag ReadId3v2Tag(CSmartFileReader& reader) {
  Id3v2Tag tag;
  const auto header = reader.FetchAt(0, kId3HeaderBytes);
  if (header.size() < kId3HeaderBytes || std::memcmp(header.data(), "ID3", 3) != 0) return tag;
  const bool version22 = header[3] == 2 && header[4] == 0;
  const std::uint64_t tagEnd = std::uint64_t{Id3SyncSafe32(&header[6])} + kId3HeaderBytes;
  if (tagEnd > reader.Size()) return tag;

  const auto text = [&reader](std::uint64_t body, std::uint64_t size) {
    return TextOf(FetchBody(reader, body, size));
  };
  if (version22) {
    WalkFrames(reader, tagEnd, kFramesV22,
               [&](std::string_view id, std::uint64_t body, std::uint64_t size) {
                 if (id == "TT2") tag.title = text(body, size);
                 if (id == "TP1") tag.artist = text(body, size);
                 if (id == "TAL") tag.album = text(body, size);
                 if (id == "TRK") tag.trackNumber = LeadingNumber(text(body, size));
                 if (id == "COM" && !tag.smpb.present) {
                   tag.smpb = ParseITunSmpb(FetchBody(reader, body, size));
                 }
               });
  } else {
    // Version 2.4 frame sizes are seven bits a byte: read plain, any frame of
    // 128 bytes or more would throw the walk off.
    WalkFrames(reader, tagEnd, header[3] == 4 ? kFramesV24 : kFramesV23,
               [&](std::string_view id, std::uint64_t body, std::uint64_t size) {
                 if (id == "TIT2") tag.title = text(body, size);
                 if (id == "TPE1") tag.artist = text(body, size);
                 if (id == "TALB") tag.album = text(body, size);
                 if (id == "TRCK") tag.trackNumber = LeadingNumber(text(body, size));
               });
  }
  tag.present = true;
  tag.offset = 0;
  tag.totalSize = tagEnd;
  return tag;
}

Id3v1Tag ReadId3v1Tag(CSmartFileReader& reader, std::uint64_t start, std::uint64_t length) {
  Id3v1Tag tag;
  if (length < kId3v1Bytes) return tag;
  const std::uint64_t offset = start + length - kId3v1Bytes;
  const auto bytes = reader.FetchAt(offset, kId3v1Bytes);
  if (bytes.size() < kId3v1Bytes || std::memcmp(bytes.data(), "TAG", 3) != 0) return tag;
  tag.title = Id3v1Field(&bytes[3]);
  tag.artist = Id3v1Field(&bytes[33]);
  tag.album = Id3v1Field(&bytes[63]);
  tag.present = true;
  tag.offset = offset;
  tag.size = kId3v1Bytes;

  if (length >= kId3v1PlusBytes) {
    const std::uint64_t plusOffset = start + length - kId3v1PlusBytes;
    const auto plus = reader.FetchAt(plusOffset, 4);
    if (plus.size() == 4 && std::memcmp(plus.data(), "TAG+", 4) == 0) {
      tag.offset = plusOffset;
      tag.size = kId3v1PlusBytes;
    }
  }
  return tag;
}
