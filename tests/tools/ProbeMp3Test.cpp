#include <gtest/gtest.h>

#include "tests/fixtures/Mp3Fixtures.h"
#include "tests/tools/ProbeTestSupport.h"

namespace {

using probetest::Probe;

// The number after "key": in a JSON line.
long Field(const std::string& json, const std::string& key) {
  const auto at = json.find("\"" + key + "\":");
  return at == std::string::npos ? -1 : std::stol(json.substr(at + key.size() + 3));
}

class ProbeMp3Test : public ::testing::Test {
 protected:
  void SetUp() override {
    // Half a second of silence on both sides of a second of tone, and no
    // encoder data: the gapless estimate has something to trim.
    const std::string wav = dir_.File("tone.wav");
    fixtures::WriteWav(wav, {1, 2, 44100, 16},
                       fixtures::ToneBetweenSilences(44100, 2, 22050, 44100));
    ASSERT_EQ(fixtures::RunLame({"-t", "-b", "128", wav, path_}), "");
  }
  fixtures::TempDir dir_;
  std::string path_ = dir_.File("tone.mp3");
};

TEST_F(ProbeMp3Test, InfoAndReadShowTheFileAsPlaybackSeesIt) {
  const auto listed = Probe({"info", path_});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_NE(listed.out.find("\"type\":3,\"formatName\":\"MP3\""), std::string::npos);
  EXPECT_EQ(Field(listed.out, "bitsPerSample"), 16);
  const long untrimmed = Field(listed.out, "totalBytes");

  const auto gapless = Probe({"info", path_, "--gapless", "-45"});
  ASSERT_EQ(gapless.exitCode, 0) << gapless.err;
  const long trimmed = Field(gapless.out, "totalBytes");
  EXPECT_LT(trimmed, untrimmed - 4 * 40000);
  EXPECT_LT(Field(gapless.out, "length"), Field(listed.out, "length"));

  const auto read = Probe({"read", path_, "--gapless", "-45"});
  ASSERT_EQ(read.exitCode, 0) << read.err;
  EXPECT_EQ(static_cast<long>(read.out.size()), trimmed);
  const auto range = Probe({"read", path_, "--range", "0", "74", "0", "--gapless", "-45"});
  ASSERT_EQ(range.exitCode, 0) << range.err;
  EXPECT_EQ(range.out, read.out.substr(0, 44100 * 4));
}

TEST_F(ProbeMp3Test, BadGaplessArgumentsAreUsageErrors) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"info", path_, "--gapless"},
           {"info", path_, "--gapless", "loud"},
           {"read", path_, "--gapless", "-45dB"},
           {"info", path_, "--track", "0"},
       }) {
    const auto run = Probe(args);
    EXPECT_EQ(run.exitCode, probe::kExitUsage);
    EXPECT_NE(run.err.find("usage:"), std::string::npos);
  }
}

}  // namespace
