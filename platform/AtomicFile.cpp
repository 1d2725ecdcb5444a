#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/TextConv.h"

namespace platform {
namespace {

// The file a path names, following a symbolic link so the link survives.
std::string ResolveTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  // A dangling link: write where it points.
  const ssize_t n = ::readlink(path.c_str(), resolved, sizeof resolved - 1);
  if (n <= 0) return path;
  std::string target(resolved, static_cast<std::size_t>(n));
  if (target.front() == '/') return target;
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? target : path.substr(0, slash + 1) + target;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates a new temporary file beside `target`; -1 when none can be made.
int CreateTemporary(const std::string& target, std::string& tempPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::wstring& path, std::string_view bytes) {
  const std::string target = ResolveTarget(ToUtf8(path));
  std::string tempPath;
  const int fd = CreateTemporary(target, tempPath);
  if (fd < 0) return false;

  struct stat existing {};
  bool ok = true;
  if (::stat(target.c_str(), &existing) == 0) {
    ok = S_ISREG(existing.st_mode) && ::fchmod(fd, existing.st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tempPath.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tempPath.c_str());
    return false;
  }
  // Make the rename itself durable; the data are safe either way.
  const int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return true;
}

}  // namespace platform
