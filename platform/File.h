#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// A file opened for reading by path (wide text, converted to UTF-8 at the
// boundary). Positioned reads only, so one handle serves any access order.
class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  bool OpenRead(const std::wstring& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Size in bytes, or -1 when it cannot be determined.
  std::int64_t Size() const;

  // Reads up to count bytes at offset; returns the number read (short only at
  // the end of the file) or -1 on a read error.
  std::int64_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const;

 private:
  int fd_ = -1;
};

enum class ReadStatus { kOk, kNotFound, kFailed, kTooLarge };

// Reads a whole file into `bytes` (emptied first); kNotFound when nothing
// exists at the path, kFailed when it cannot be opened or read, kTooLarge
// (and nothing kept) when it holds more than `limit` bytes: reading stops
// there, so a device that never ends is refused too.
ReadStatus ReadWholeFile(const std::wstring& path, std::string& bytes,
                         std::size_t limit = static_cast<std::size_t>(-1));

}  // namespace platform
