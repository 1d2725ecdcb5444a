#include "platform/RiffReader.h"

#include <algorithm>

namespace platform {
namespace {

constexpr std::uint32_t kRiff = FourCC('R', 'I', 'F', 'F');
constexpr std::uint32_t kList = FourCC('L', 'I', 'S', 'T');

std::uint32_t LittleEndian32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

bool RiffReader::Open(const std::wstring& path) {
  position_ = 0;
  fileSize_ = 0;
  if (!file_.OpenRead(path)) return false;
  const std::int64_t size = file_.Size();
  if (size < 0) {
    file_.Close();
    return false;
  }
  fileSize_ = static_cast<std::uint64_t>(size);
  return true;
}

bool RiffReader::ReadHeader(RiffChunk& chunk, std::uint64_t limit) {
  unsigned char header[12];
  if (position_ + 8 > limit || file_.ReadAt(position_, header, 8) != 8) return false;
  chunk.id = LittleEndian32(header);
  chunk.size = LittleEndian32(header + 4);
  chunk.type = 0;
  chunk.dataOffset = position_ + 8;
  position_ += 8;
  if (chunk.id == kRiff || chunk.id == kList) {
    if (position_ + 4 > limit || file_.ReadAt(position_, header + 8, 4) != 4) return false;
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
  const std::int64_t n = file_.ReadAt(position_, buffer, count);
  if (n > 0) position_ += static_cast<std::uint64_t>(n);
  return n;
}

}  // namespace platform
