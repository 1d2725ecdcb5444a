#include "tools/probe/Probe.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/fixtures/CueWriter.h"
#include "tests/fixtures/DffWriter.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/ToolRunner.h"
#include "tests/fixtures/WavWriter.h"
#include "tests/tools/ProbeTestSupport.h"

namespace {

using fixtures::Bytes;
using probetest::Probe;

class ProbeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    samples_ = fixtures::AudioPattern(3 * 264600 + 6);  // 3 s + 1 sample frame, 24-bit stereo
    path_ = dir_.File("Caf\xC3\xA9 \"tone\".wav");
    fixtures::WavFile()
        .Format({1, 2, 44100, 24})
        .Chunk("id3 ", fixtures::Id3Tag({{"TIT2", 3, {'T', 'o', 'n', 'e'}},
                                         {"TPE1", 3, {'C', 'o', 'r', 'v', 'a', 'n', 'e'}}}))
        .Data(samples_)
        .Write(path_);
  }
  fixtures::TempDir dir_;
  std::string path_;
  Bytes samples_;
};

TEST_F(ProbeTest, InfoPrintsTheTrackRecordAsOneJsonLine) {
  const auto run = Probe({"info", path_});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::string escapedPath = dir_.path() + "/Caf\xC3\xA9 \\\"tone\\\".wav";
  EXPECT_EQ(run.out, "{\"path\":\"" + escapedPath +
                         "\",\"fileName\":\"\",\"type\":2,\"formatName\":\"WAVE\","
                         "\"totalBytes\":793806,\"title\":\"Tone\",\"artist\":\"Corvane\","
                         "\"album\":\"\",\"trackNumber\":0,\"formatTag\":1,\"channels\":2,"
                         "\"sampleRate\":44100,\"avgBytesPerSec\":264600,\"blockAlign\":6,"
                         "\"bitsPerSample\":24,\"length\":226,\"start\":0,\"end\":225}\n");
}

TEST_F(ProbeTest, ReadWritesExactlyTheBytesOfTheRange) {
  auto run = Probe({"read", path_});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), samples_);

  run = Probe({"read", path_, "--track", "0", "--range", "75", "149", "0"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()),
            Bytes(samples_.begin() + 264600, samples_.begin() + 2 * 264600));
}

TEST_F(ProbeTest, FailuresPrintTheUsersMessage) {
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string err;
  } cases[] = {
      {{"info", "/no/such/file.wav"}, 2, "Can't open file (\"/no/such/file.wav\")\n"},
      {{"read", "/no/such/file.wav"}, 2, "Can't open file (\"/no/such/file.wav\")\n"},
      {{"read", "TRACK", "--track", "1"}, 2, "Parameter error occurred.\n"},
      {{}, 1, ""},
      {{"info"}, 1, ""},
      {{"frobnicate", "x.wav"}, 1, ""},
      {{"read", "x.wav", "--range", "1", "2"}, 1, ""},
      {{"read", "x.wav", "--track", "-1"}, 1, ""},
  };
  for (auto c : cases) {
    for (auto& arg : c.args) {
      if (arg == "TRACK") arg = path_;
    }
    probetest::ExpectFailure(Probe(c.args), c.exitCode, c.err);
  }
}

TEST_F(ProbeTest, HelpAndVersionGoToStandardOutput) {
  auto run = Probe({"--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.out.starts_with("usage: quorelle-probe")) << run.out;
  EXPECT_NE(run.out.find("cd:DEVICE"), std::string::npos);
  EXPECT_EQ(run.err, "");

  run = Probe({"--version"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, "quorelle-probe " QP_PROJECT_VERSION "\n");
  EXPECT_EQ(run.err, "");

  // Either one stands alone; beside anything else it is a bad argument.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help", "info"}, {"--version", "--help"}, {"info", path_, "--version"}}) {
    SCOPED_TRACE(testing::PrintToString(args));
    probetest::ExpectFailure(Probe(args), probe::kExitUsage, "");
  }
}

TEST_F(ProbeTest, ACueSheetListsItsTracksAndReadPlaysOneOfThem) {
  const std::string sheet = dir_.File("tone.cue");
  fixtures::WriteCue(sheet,
                     "FILE 'Caf\xC3\xA9 \"tone\".wav' WAVE\r\n"
                     "  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                     "  TRACK 02 AUDIO\r\n    INDEX 01 00:01:00\r\n",
                     fixtures::CueEncoding::kUtf8WithBom);
  auto run = Probe({"info", sheet});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::string escapedPath = dir_.path() + "/Caf\xC3\xA9 \\\"tone\\\".wav";
  const auto line = [&](const std::string& title, int length, int start, int end) {
    return "{\"path\":\"" + escapedPath +
           "\",\"fileName\":\"Caf\xC3\xA9 \\\"tone\\\".wav\",\"type\":2,"
           "\"formatName\":\"WAVE\",\"totalBytes\":793806,\"title\":\"" +
           title +
           "\",\"artist\":\"\",\"album\":\"\",\"trackNumber\":0,\"formatTag\":1,"
           "\"channels\":2,\"sampleRate\":44100,\"avgBytesPerSec\":264600,\"blockAlign\":6,"
           "\"bitsPerSample\":24,\"length\":" +
           std::to_string(length) + ",\"start\":" + std::to_string(start) +
           ",\"end\":" + std::to_string(end) + "}\n";
  };
  EXPECT_EQ(run.out, line("Track 01", 75, 0, 74) + line("Track 02", 151, 75, 225));

  run = Probe({"read", sheet, "--track", "1"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()),
            Bytes(samples_.begin() + 264600, samples_.end()));
}

TEST_F(ProbeTest, PluginFilesAreListedAndReadThroughTheDsfPlugin) {
  auto run = Probe({"plugins"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            "{\"name\":\"DFF Plugin\",\"extensions\":\"DFF\",\"version\":\"1.0.0\"}\n"
            "{\"name\":\"DSF Plugin\",\"extensions\":\"DSF\",\"version\":\"1.0.2\"}\n"
            "{\"name\":\"FLAC Plugin\",\"extensions\":\"FLAC\",\"version\":\"1.0.0\"}\n");

  // One second of DSD64 stereo whose stored bytes are 0x01 (left), 0x03 (right).
  const std::string path = dir_.File("one.dsf");
  fixtures::WriteFile(path, fixtures::BuildDsf({}, {Bytes(352800, 0x01), Bytes(352800, 0x03)}));
  run = Probe({"info", path});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "{\"path\":\"\",\"fileName\":\"\",\"type\":4,\"formatName\":\"DSF\","
            "\"totalBytes\":705600,\"title\":\"\",\"artist\":\"\",\"album\":\"\","
            "\"trackNumber\":0,\"formatTag\":1,\"channels\":2,\"sampleRate\":88200,"
            "\"avgBytesPerSec\":705600,\"blockAlign\":8,\"bitsPerSample\":32,\"length\":75,"
            "\"start\":0,\"end\":74}\n");
  run = Probe({"read", path});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(run.out.size(), 705600u);
  EXPECT_EQ(Bytes(run.out.begin(), run.out.begin() + 8),
            (Bytes{0x80, 0x80, 0x80, 0x80, 0xC0, 0xC0, 0xC0, 0xC0}));
}

TEST_F(ProbeTest, FlacFilesReadExactlyAndDamagedOnesFailToDecode) {
  // The 24-bit tone of the fixture, losslessly encoded: read back, every
  // sample is the WAV's.
  const std::string flac = dir_.File("tone.flac");
  ASSERT_EQ(fixtures::EncodeFlac(path_, flac), "");
  auto run = Probe({"read", flac});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Bytes(run.out.begin(), run.out.end()), samples_);

  // A byte of audio changed: the player's decode error, nothing delivered.
  Bytes damaged = fixtures::ReadFile(flac);
  damaged[damaged.size() / 2] ^= 0x40;
  const std::string broken = dir_.File("broken.flac");
  fixtures::WriteFile(broken, damaged);
  run = Probe({"read", broken});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, "Decode Failed.\n");
}

TEST_F(ProbeTest, ADstCompressedDsdiffFileIsRefusedWithItsReason) {
  const std::string path = dir_.File("dst.dff");
  fixtures::WriteFile(
      path, fixtures::BuildDff({.compression = "DST "}, {Bytes(4096, 0x69), Bytes(4096, 0x96)}));
  const auto run = Probe({"info", path});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, "Decode Failed.\nDST-compressed DSDIFF files cannot be played.\n");

  // The same data uncompressed is listed as a DSD track.
  fixtures::WriteFile(path, fixtures::BuildDff({}, {Bytes(4096, 0x69), Bytes(4096, 0x96)}));
  EXPECT_EQ(Probe({"info", path}).exitCode, 0);
}

TEST_F(ProbeTest, PlaylistPrintsTheItemsAPlaylistFileLoads) {
  // A cue track of the tone (its second second) and a line whose file is gone.
  std::string quotedPath;
  for (const char c : path_)
    quotedPath += c == '"' ? std::string("\"\"") : std::string(1, c);
  const std::string list = dir_.File("list.ppl");
  const std::string text = "\xEF\xBB\xBF\"" + quotedPath +
                           "\",2,\"Second\",\"\",75,75,149\r\n"
                           "\"/no/such/file.wav\",2,\"Gone\",\"\",75,0,74\r\n";
  fixtures::WriteText(list, text);
  auto run = Probe({"playlist", list});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::string escapedPath = dir_.path() + "/Caf\xC3\xA9 \\\"tone\\\".wav";
  EXPECT_EQ(run.out, "{\"path\":\"" + escapedPath +
                         "\",\"fileName\":\"Caf\xC3\xA9 \\\"tone\\\".wav\",\"type\":2,"
                         "\"formatName\":\"WAVE\",\"totalBytes\":0,\"title\":\"Second\","
                         "\"artist\":\"\",\"album\":\"\",\"trackNumber\":0,\"formatTag\":1,"
                         "\"channels\":2,\"sampleRate\":44100,\"avgBytesPerSec\":264600,"
                         "\"blockAlign\":6,\"bitsPerSample\":24,\"length\":75,\"start\":75,"
                         "\"end\":149}\n");

  run = Probe({"playlist", dir_.File("missing.ppl")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, "Can't open file (\"" + dir_.File("missing.ppl") + "\")\n");
}

TEST_F(ProbeTest, TheInstalledCommandPipesAudioToStandardOutput) {
  const std::string command =
      std::string(QP_PROBE_BINARY) + " read '" + dir_.File("plain.wav") + "'";
  const Bytes samples = fixtures::AudioPattern(10000);
  fixtures::WriteWav(dir_.File("plain.wav"), {1, 2, 48000, 16}, samples);
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  Bytes got;
  std::uint8_t buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    got.insert(got.end(), buffer, buffer + n);
  }
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_EQ(got, samples);
}

}  // namespace
