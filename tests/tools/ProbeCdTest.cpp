#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/fixtures/CdImageWriter.h"
#include "tests/fixtures/SameElements.h"
#include "tests/tools/ProbeTestSupport.h"

namespace {

using fixtures::Bytes;
using fixtures::CdSectorPattern;
using fixtures::kCdSectorBytes;
using probetest::Probe;

// The JSON line of one audio track of `device`.
std::string TrackLine(const std::string& device, int number, std::uint32_t start,
                      std::uint32_t sectors) {
  return "{\"path\":\"" + device + "\",\"fileName\":\"" + device +
         "\",\"type\":1,\"formatName\":\"CD-DA\",\"totalBytes\":" +
         std::to_string(sectors * kCdSectorBytes) + ",\"title\":\"CD Track 0" +
         std::to_string(number) +
         "\",\"artist\":\"\",\"album\":\"\",\"trackNumber\":0,\"formatTag\":1,"
         "\"channels\":2,\"sampleRate\":44100,\"avgBytesPerSec\":176400,\"blockAlign\":4,"
         "\"bitsPerSample\":16,\"length\":" +
         std::to_string(sectors) + ",\"start\":" + std::to_string(start) +
         ",\"end\":" + std::to_string(start + sectors - 1) + "}\n";
}

// A disc image of two audio tracks: 80 sectors from 0, 120 sectors from 80.
class ProbeCdTest : public ::testing::Test {
 protected:
  fixtures::TempDir dir_;
  fixtures::CdImage image_ =
      fixtures::WriteCdImage(dir_.path(), "disc", fixtures::AudioTracks({80, 120}));
  std::string device_ = "cd:" + image_.cuePath;
};

// The image's .cue sheet reaches the CD source (type 1, the device as path),
// not the cue-sheet source; libcdio finds the sheet beside a .bin too.
TEST_F(ProbeCdTest, InfoListsTheAudioTracksOfTheDisc) {
  for (const std::string& device : {image_.cuePath, image_.binPath}) {
    SCOPED_TRACE(device);
    const auto run = Probe({"info", "cd:" + device});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, TrackLine(device, 1, 0, 80) + TrackLine(device, 2, 80, 120));
  }
}

TEST_F(ProbeCdTest, ReadWritesExactlyTheSectorsOfTheTrackOrRange) {
  const struct {
    std::vector<std::string> options;
    std::uint32_t first, sectors;
  } cases[] = {
      {{"--track", "1"}, 80, 120},
      {{}, 0, 80},
      {{"--range", "10", "19", "5"}, 15, 5},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args{"read", device_};
    args.insert(args.end(), c.options.begin(), c.options.end());
    SCOPED_TRACE(testing::PrintToString(args));
    const auto run = Probe(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fixtures::SameElements(Bytes(run.out.begin(), run.out.end()),
                                       CdSectorPattern(c.first, c.sectors)));
  }
}

TEST_F(ProbeCdTest, FailuresPrintTheUsersMessage) {
  const std::string missing = dir_.File("missing.cue");
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"info", "cd:" + missing}, 2, "Can't open file (\"" + missing + "\")\n"},
      {{"read", "cd:" + missing, "--track", "0"}, 2, "Can't open file (\"" + missing + "\")\n"},
      {{"read", device_, "--track", "2"}, 2, "Parameter error occurred.\n"},
      // Sectors past the lead-out cannot be read: a failure, not a short track.
      {{"read", device_, "--range", "190", "210", "0"}, 2, "Decode Failed.\n"},
      {{"info", "cd:"}, 1, ""},
      {{"read", "cd:", "--track", "0"}, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    probetest::ExpectFailure(Probe(c.args), c.exitCode, c.err);
  }
}

}  // namespace
