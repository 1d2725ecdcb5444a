#include "sources/Mp3Tags.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string_view>
#include <vector>

#include "sources/Id3Frames.h"
#include "sources/Id3Text.h"
#include "sources/SmartFileReader.h"

namespace {

constexpr std::uint32_t kId3v1Bytes = 128;
constexpr std::uint32_t kId3v1PlusBytes = 355;
constexpr std::uint32_t kId3v1FieldBytes = 30;

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
  const auto header = reader.FetchAt(0, id3::kTagHeaderBytes);
  if (header.size() < id3::kTagHeaderBytes) return tag;
  const id3::TagHeader parsed = id3::ParseTagHeader(header.data());
  if (!parsed.present) return tag;
  const std::uint64_t tagEnd = std::uint64_t{parsed.size} + id3::kTagHeaderBytes;
  if (tagEnd > reader.Size()) return tag;

  // A version we do not know is read as 2.3, the commonest.
  const id3::FrameLayout& layout = parsed.layout != nullptr ? *parsed.layout : id3::kLayoutV23;
  const auto readHeader = [&reader](std::uint64_t at, std::uint8_t* bytes, std::size_t count) {
    const auto fetched = reader.FetchAt(at, static_cast<std::uint32_t>(count));
    if (fetched.size() < count) return false;
    std::memcpy(bytes, fetched.data(), count);
    return true;
  };
  id3::WalkFrames(id3::kTagHeaderBytes, tagEnd, layout, readHeader, [&](const id3::Frame& frame) {
    if (frame.size == 0) return true;
    const auto text = [&] { return TextOf(FetchBody(reader, frame.bodyOffset, frame.size)); };
    if (frame.id == layout.title) tag.title = text();
    if (frame.id == layout.artist) tag.artist = text();
    if (frame.id == layout.album) tag.album = text();
    if (frame.id == layout.track) tag.trackNumber = LeadingNumber(text());
    // Encoders that write version 2.2 keep their gapless values in a comment.
    if (layout.majorVersion == 2 && frame.id == "COM" && !tag.smpb.present) {
      tag.smpb = ParseITunSmpb(FetchBody(reader, frame.bodyOffset, frame.size));
    }
    return true;
  });
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
