#include "platform/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/TextConv.h"

namespace platform {

File::~File() {
  Close();
}

File::File(File&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool File::OpenRead(const std::wstring& path) {
  Close();
  const std::string native = ToUtf8(path);
  fd_ = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return false;
  struct stat st {};
  if (fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
    Close();
    return false;
  }
  return true;
}

void File::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::int64_t File::Size() const {
  struct stat st {};
  if (fd_ < 0 || fstat(fd_, &st) != 0) return -1;
  return st.st_size;
}

std::int64_t File::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  if (fd_ < 0) return -1;
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<std::int64_t>(done);
}

ReadStatus ReadWholeFile(const std::wstring& path, std::string& bytes, std::size_t limit) {
  bytes.clear();
  const std::string native = ToUtf8(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? ReadStatus::kNotFound : ReadStatus::kFailed;
  }
  File file;
  if (!file.OpenRead(path)) return ReadStatus::kFailed;
  // Read to the end rather than to the size seen at open: the file may change.
  char buffer[65536];
  for (std::uint64_t offset = 0;;) {
    const std::int64_t n = file.ReadAt(offset, buffer, sizeof buffer);
    if (n < 0) {
      bytes.clear();
      return ReadStatus::kFailed;
    }
    if (n == 0) break;
    if (static_cast<std::size_t>(n) > limit - bytes.size()) {
      bytes.clear();
      return ReadStatus::kTooLarge;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
    offset += static_cast<std::uint64_t>(n);
  }
  return ReadStatus::kOk;
}

}  // namespace platform
