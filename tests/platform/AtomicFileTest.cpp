#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "platform/TextConv.h"
#include "tests/fixtures/WavWriter.h"

namespace {

namespace fs = std::filesystem;

bool Write(const std::string& path, const std::string& bytes) {
  return platform::WriteFileAtomically(platform::FromUtf8(path), bytes);
}

// The names in a folder, to show that no temporary file stays behind.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Files may grow to `bytes` only while the object lives, as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST(AtomicFile, CreatesAndReplacesKeepingPermissionsAndLinks) {
  fixtures::TempDir dir;
  const std::string path = dir.File("list.ppl");
  ASSERT_TRUE(Write(path, "first"));
  EXPECT_EQ(fixtures::ReadText(path), "first");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_TRUE(Write(path, "second, longer"));
  EXPECT_EQ(fixtures::ReadText(path), "second, longer");
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  const std::string link = dir.File("link.ppl");
  fs::create_symlink(path, link);
  ASSERT_TRUE(Write(link, "through the link"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fixtures::ReadText(path), "through the link");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"link.ppl", "list.ppl"}));
}

TEST(AtomicFile, FailureLeavesTheTargetAndNoTemporaryFile) {
  fixtures::TempDir dir;
  EXPECT_FALSE(Write(dir.File("missing/list.ppl"), "x"));

  const std::string folder = dir.File("folder");
  fs::create_directory(folder);
  EXPECT_FALSE(Write(folder, "x"));
  EXPECT_TRUE(fs::is_directory(folder));

  // The disk fills up in the middle of the new content.
  const std::string path = dir.File("list.ppl");
  ASSERT_TRUE(Write(path, "old content"));
  {
    FileSizeLimit limit(4096);
    EXPECT_FALSE(Write(path, std::string(100000, 'n')));
  }
  EXPECT_EQ(fixtures::ReadText(path), "old content");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"folder", "list.ppl"}));
}

}  // namespace
