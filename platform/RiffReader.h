#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/File.h"

namespace platform {

constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

// One chunk as found by RiffReader::Descend. For "RIFF" and "LIST" chunks the
// form or list type is read too; dataOffset then points at that type, so the
// chunk's content ends at dataOffset + size either way.
struct RiffChunk {
  std::uint32_t id = 0;
  std::uint32_t size = 0;
  std::uint32_t type = 0;
  std::uint64_t dataOffset = 0;
};

// How Descend looks for a chunk.
enum class RiffSearch {
  kNext,       // take the chunk header at the current position
  kFindChunk,  // skip chunks until one whose id equals chunk.id
  kFindRiff,   // skip chunks until a "RIFF" chunk
};

// A RIFF file walked chunk by chunk: descend into a chunk (its header read,
// the position at its data), ascend out of it (the position after its data
// and the pad byte of an odd size). Searches stay inside the parent chunk and
// inside the file, whatever the size fields claim.
class RiffReader {
 public:
  bool Open(const std::wstring& path);
  void Close() {
    file_.Close();
    head_.clear();
  }
  bool IsOpen() const { return file_.IsOpen(); }
  std::uint64_t FileSize() const { return fileSize_; }

  // Finds a chunk from the current position as `search` says; on success the
  // header fields are in `chunk` and the position is at its data (after the
  // type of a RIFF or LIST chunk). On failure the position is unspecified.
  bool Descend(RiffChunk& chunk, const RiffChunk* parent, RiffSearch search);

  // Moves past the chunk's data and its pad byte.
  void Ascend(const RiffChunk& chunk);

  void Seek(std::uint64_t offset) { position_ = offset; }
  std::uint64_t Tell() const { return position_; }

  // Reads up to count bytes at the position and advances past them; returns
  // the number read (0 at the end of the file) or -1 on a read error.
  std::int64_t Read(void* buffer, std::size_t count);

 private:
  bool ReadHeader(RiffChunk& chunk, std::uint64_t limit);
  // From the head kept at opening when the range lies inside it, else from
  // the file.
  std::int64_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const;

  File file_;
  // The file's first bytes, read once at opening: the chunk headers of most
  // files lie there, so walking them (more than once) costs no further reads.
  std::vector<unsigned char> head_;
  std::uint64_t fileSize_ = 0;
  std::uint64_t position_ = 0;
};

}  // namespace platform
