#include "platform/RiffReader.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

constexpr std::uint32_t kRiff = FourCC('R', 'I', 'F', 'F');
constexpr std::uint32_t kList = FourCC('L', 'I', 'S', 'T');
// Enough for the header chunks and short tags of nearly every file.
constexpr std::size_t kHeadBytes = 4096;

std::uint32_t LittleEndian32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

bool RiffReader::Open(const std::wstring& path) {
  position_ = 0;
  fileSize_ = 0;
  head_.clear();
  if (!file_.OpenRead(path)) return false;
  const std::int64_t size = file_.Size();
  if (size < 0) {
    file_.Close();
    return false;
  }
  fileSize_ = static_cast<std::uint64_t>(size);
  head_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(fileSize_, kHeadBytes)));
  const std::int64_t read = file_.ReadAt(0, head_.data(), head_.size());
  head_.resize(static_cast<std::size_t>(std::max<std::int64_t>(read, 0)));
  return true;
}

std::int64_t RiffReader::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  if (offset <= head_.size() && count <= head_.size() - offset) {
    std::memcpy(buffer, head_.data() + offset, count);
    return static_cast<std::int64_t>(count);
  }
  return file_.ReadAt(offset, buffer, count);
}

bool RiffReader::ReadHeader(RiffChunk& chunk, std::uint64_t limit) {
  unsigned char header[12];
  if (position_ + 8 > limit || ReadAt(position_, header, 8) != 8) return false;
  chunk.id = LittleEndian32(header);
  chunk.size = LittleEndian32(header + 4);
  chunk.type = 0;
  chunk.dataOffset = position_ + 8;
  position_ += 8;
  if (chunk.id == kRiff || chunk.id == kList) {
    if (position_ + 4 > limit || ReadAt(position_, header + 8, 4) != 4) return false;
    chunk.type = LittleEndian32(header + 8);
    position_ += 4;
  }
  return true;
}

bool RiffReader::Descend(RiffChunk& chunk, const RiffChunk* parent, RiffSearch search) {
  std::uint64_t limit = fileSize_;
  if (parent != nullptr) limit = std::min(limit, parent->dataOffset + parent->size);
  const std::uint32_t wanted = search == RiffSearch::kFindRiff ? kRiff : chunk.id;
  RiffChunk found;
  while (ReadHeader(found, limit)) {
    if (search == RiffSearch::kNext || found.id == wanted) {
      chunk = found;
      return true;
    }
    Ascend(found);
  }
  return false;
}

void RiffReader::Ascend(const RiffChunk& chunk) {
  position_ = chunk.dataOffset + chunk.size + (chunk.size & 1u);
}

std::int64_t RiffReader::Read(void* buffer, std::size_t count) {
  const std::int64_t n = ReadAt(position_, buffer, count);
  if (n > 0) position_ += static_cast<std::uint64_t>(n);
  return n;
}

}  // namespace platform
