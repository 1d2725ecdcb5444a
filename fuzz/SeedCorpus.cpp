// Writes the seed inputs of every fuzz target into FOLDER/<target>/, made by
// the same fixture writers the tests use (lame for the MP3 files).
//
//   qp_fuzz_seeds FOLDER
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "tests/fixtures/CdImageWriter.h"
#include "tests/fixtures/CueWriter.h"
#include "tests/fixtures/DffWriter.h"
#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/Id3Writer.h"
#include "tests/fixtures/Mp3Fixtures.h"
#include "tests/fixtures/ToolRunner.h"
#include "tests/fixtures/WavWriter.h"

namespace {

using fixtures::Bytes;
using fixtures::TextBytes;
using fixtures::TextFrame;

// "Ar" in UTF-16 with its byte-order mark, for tag frames of encoding 1.
const Bytes kUtf16Ar = {0xFF, 0xFE, 'A', 0, 'r', 0};

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes OfText(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// A cue or CD-image seed: the target's selector byte, then the text.
Bytes Selected(std::uint8_t selector, const std::string& text) {
  return Join({Bytes{selector}, OfText(text)});
}

class SeedWriter {
 public:
  explicit SeedWriter(std::string folder) : folder_(std::move(folder)) {}

  void Add(const std::string& target, const Bytes& bytes) {
    const std::string dir = folder_ + "/" + target;
    std::filesystem::create_directories(dir);
    fixtures::WriteFile(dir + "/seed-" + std::to_string(++counts_[target]), bytes);
  }

 private:
  std::string folder_;
  std::map<std::string, int> counts_;
};

void WaveSeeds(SeedWriter& seeds) {
  using fixtures::WavFile;
  using fixtures::WavFormat;
  const WavFormat cd{.formatTag = 1, .channels = 2, .sampleRate = 44100, .bitsPerSample = 16};
  const WavFormat hiRes{
      .formatTag = 1, .channels = 2, .sampleRate = 96000, .bitsPerSample = 24, .extensible = true};
  const WavFormat floats{.formatTag = 3,
                         .channels = 1,
                         .sampleRate = 48000,
                         .bitsPerSample = 32,
                         .extensible = true,
                         .subFormatTag = 3};
  const Bytes pcm = fixtures::AudioPattern(2 * 2352);
  seeds.Add("wave", WavFile().Format(cd).Data(pcm).Build());
  seeds.Add("wave", WavFile().Format(hiRes).Data(fixtures::AudioPattern(6 * 300)).Build());
  seeds.Add("wave", WavFile().Format(floats).Data(fixtures::AudioPattern(4 * 400)).Build());
  seeds.Add("wave", WavFile()
                        .Format(cd)
                        .Chunk("LIST", fixtures::InfoListBody({{"INAM", TextBytes("Title")},
                                                               {"IART", TextBytes("Artist")}}))
                        .Chunk("id3 ", fixtures::Id3Tag({{"TIT2", 3, TextBytes("Id3 Title")},
                                                         {"TPE1", 1, kUtf16Ar}}))
                        .Data(pcm)
                        .Build());
  seeds.Add("wave", WavFile().Format(cd).Data(pcm, 0xFFFFFFFF).RiffSize(0xFFFFFFFF).Build());
}

void Mp3Seeds(SeedWriter& seeds) {
  const fixtures::TempDir work;
  const std::string wav = work.File("in.wav"), mp3 = work.File("out.mp3");
  auto encode = [&](std::uint32_t rate, std::uint16_t channels, std::vector<std::string> options) {
    const fixtures::WavFormat format{
        .formatTag = 1, .channels = channels, .sampleRate = rate, .bitsPerSample = 16};
    fixtures::WriteWav(wav, format, fixtures::ToneBetweenSilences(rate, channels, 1500, 3000));
    options.insert(options.end(), {wav, mp3});
    if (const std::string failure = fixtures::RunLame(options); !failure.empty()) {
      throw std::runtime_error(failure);
    }
    return fixtures::ReadFile(mp3);
  };
  const Bytes withLameTag = encode(44100, 2, {"-b", "64"});
  const Bytes plain = encode(44100, 2, {"-b", "64", "-t"});
  const Bytes mpeg2 = encode(22050, 1, {"-b", "32"});
  seeds.Add("mp3", withLameTag);
  seeds.Add("mp3", plain);
  seeds.Add("mp3", mpeg2);
  seeds.Add("mp3", Join({fixtures::Id3v2Tag({TextFrame("TIT2", 0, TextBytes("Song")),
                                             TextFrame("TPE1", 3, TextBytes("Band")),
                                             TextFrame("TRCK", 0, TextBytes("3/9"))}),
                         plain, fixtures::Id3v1Tag("Old Title", "Old Artist", "Old Album")}));
  seeds.Add("mp3", Join({fixtures::Id3v2Tag({{"COM", fixtures::ITunSmpbBody(576, 1000, 3000)}},
                                            {.majorVersion = 2, .padding = 16}),
                         plain}));
  seeds.Add("mp3", Join({fixtures::Id3v2Tag({TextFrame("TALB", 1, kUtf16Ar)},
                                            {.majorVersion = 4, .extendedHeader = true}),
                         withLameTag, fixtures::Id3v1Tag("a", "b", "c", true)}));
}

void DsfSeeds(SeedWriter& seeds) {
  using fixtures::BuildDsf;
  using fixtures::DsdPattern;
  const Bytes tag = fixtures::Id3v2Tag(
      {TextFrame("TIT2", 0, TextBytes("Dsd Title")), TextFrame("TPE1", 3, TextBytes("Artist")),
       TextFrame("TALB", 0, TextBytes("Album")), TextFrame("TRCK", 0, TextBytes("1"))});
  seeds.Add("dsf", BuildDsf({}, DsdPattern(2, 300)));
  seeds.Add("dsf", BuildDsf({.tag = tag}, DsdPattern(2, 4200)));
  seeds.Add("dsf", BuildDsf({.channels = 1, .bitsPerSample = 8}, DsdPattern(1, 100)));
  seeds.Add("dsf",
            BuildDsf({.channels = 2,
                      .sampleCount = 1u << 30,
                      .tag = fixtures::Id3v2Tag({TextFrame("TIT2", 1, kUtf16Ar)},
                                                {.majorVersion = 4, .extendedHeader = true})},
                     DsdPattern(2, 64)));
}

void DffSeeds(SeedWriter& seeds) {
  using fixtures::BuildDff;
  using fixtures::DsdPattern;
  seeds.Add("dff", BuildDff({}, DsdPattern(2, 300)));
  seeds.Add("dff", BuildDff({.title = "Dsd Title", .artist = "Artist"}, DsdPattern(2, 4200)));
  seeds.Add("dff", BuildDff({.samplingFrequency = 5644800,
                             .id3 = fixtures::Id3v2Tag({TextFrame("TIT2", 1, kUtf16Ar)})},
                            DsdPattern(1, 100)));
  seeds.Add("dff", BuildDff({.compression = "DST "}, DsdPattern(2, 64)));
}

// FLAC streams from the `flac` encoder: stereo 16-bit, 24-bit with tags,
// mono without a seek table.
void FlacSeeds(SeedWriter& seeds) {
  using fixtures::WavFile;
  using fixtures::WavFormat;
  const fixtures::TempDir dir;
  const struct {
    WavFormat format;
    std::vector<std::string> options;
  } streams[] = {
      {{.formatTag = 1, .channels = 2, .sampleRate = 44100, .bitsPerSample = 16}, {}},
      {{.formatTag = 1, .channels = 2, .sampleRate = 96000, .bitsPerSample = 24},
       {"--tag=TITLE=Title", "--tag=ARTIST=Artist"}},
      {{.formatTag = 1, .channels = 1, .sampleRate = 48000, .bitsPerSample = 16},
       {"--no-seektable"}},
  };
  for (const auto& stream : streams) {
    const std::string wav = dir.File("seed.wav"), flac = dir.File("seed.flac");
    const std::size_t frameBytes = stream.format.channels * stream.format.bitsPerSample / 8u;
    fixtures::WriteFile(
        wav,
        WavFile().Format(stream.format).Data(fixtures::AudioPattern(frameBytes * 2000)).Build());
    if (const std::string failure = fixtures::EncodeFlac(wav, flac, stream.options);
        !failure.empty()) {
      throw std::runtime_error(failure);
    }
    seeds.Add("flac", fixtures::ReadFile(flac));
  }
}

void CueSeeds(SeedWriter& seeds) {
  const std::string wav = fuzzing::SharedWavPath();
  const std::string sheet = "PERFORMER \"Album Artist\"\nTITLE \"Album\"\nFILE \"" + wav +
                            "\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"One\"\n"
                            "    PERFORMER 'Someone'\n    INDEX 01 00:00:00\n"
                            "  TRACK 02 AUDIO\n    INDEX 00 00:00:70\n    INDEX 01 00:01:00\r\n"
                            "REM COMMENT\n  TRACK 03 AUDIO\n    INDEX 01 00:01:40\n";
  const std::string japanese =
      "TITLE \"\xE6\x97\xA5\xE6\x9C\xAC\"\nFILE \"" + wav +
      "\" WAVE\nTRACK 1 AUDIO\nPERFORMER \"\xE6\xAD\x8C\"\nINDEX 1 0:0:0\n";
  const std::string twoFiles = "FILE \"" + wav + "\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:10\n" +
                               "TRACK 02 AUDIO\nINDEX 00 00:01:50\nFILE \"" + wav +
                               "\" WAVE\nINDEX 01 00:00:00\n";
  using fixtures::CueEncoding;
  seeds.Add("cue", Selected(0, fixtures::EncodeCueText(japanese, CueEncoding::kShiftJis)));
  seeds.Add("cue", Selected(0, sheet));
  seeds.Add("cue", Selected(0, fixtures::EncodeCueText(sheet, CueEncoding::kUtf16LeWithBom)));
  seeds.Add("cue", Selected(1, japanese));
  seeds.Add("cue", Selected(2, sheet));
  seeds.Add("cue", Selected(3, twoFiles));
}

void PlaylistSeeds(SeedWriter& seeds) {
  const std::string wav = fuzzing::SharedWavPath();
  seeds.Add("playlist",
            OfText("\xEF\xBB\xBF\"" + wav + "\",2,\"Title\",\"Artist\",150,0,149\r\n\"" + wav +
                   "\",2,\"Say \"\"hi\"\"\",\"\",75,-1,+74\r\n"));
  seeds.Add("playlist", OfText("\"" + wav +
                               "\",2,\"\",\"\",150,75,149\n\"/no/such.cue\",1,\"CD Track 01\","
                               "\"\",10,0,9\nnot a line\n\"" +
                               wav + "\",3,\"x\",\"y\",1,2\n"));
}

void IniSeeds(SeedWriter& seeds) {
  seeds.Add("ini",
            OfText("[Window]\nX=10\nY=-20\n[Config]\nDevice=Corvane USB DAC AMP(KLM)\n"
                   "Mp3Gapless=true\nThrGapless=-60\nDecodeMode=1\nRamMode=0\n"
                   "RepeatMode=2\nShuffleMode=1\n[Playlist]\nFile=/home/u/caf\xC3\xA9.ppl\n"));
  seeds.Add("ini", OfText("\xEF\xBB\xBF; kept\r\n[config]\r\n  device = \" Virtual DAC \" \r\n"
                          "[Other]\r\nKey='x'\r\n[Config]\r\nRamMode=99999999999\r\nX"));
}

void AsioRegistrySeeds(SeedWriter& seeds) {
  seeds.Add("asio_registry", OfText("[Driver]\nName=Corvane USB DAC AMP(KLM)\n"
                                    ";Name=Corvane ASIO Audio Device(KLM)\n"
                                    "CLSID={3C5D0A17-A15A-4A5A-9D5D-000000000001}\n"
                                    "Library=/dev/null\n[Settings]\nDevice=usb:3c5d:0a17\n"));
  seeds.Add("asio_registry",
            OfText("# comment\n[ DRIVER ]\r\nname = Second\r\nDescription=Long "
                   "description of the second driver, longer than a field\r\n"
                   "clsid={3C5D0A17-0000-4000-8000-00000000D0AC}\r\n"
                   "library=../../../dev/null\r\n[settings]\r\nBufferSize=512\r\n"));
}

void CdImageSeeds(SeedWriter& seeds) {
  using fixtures::CdImageTrack;
  const std::vector<CdImageTrack> mixed = {
      {.sectors = 2}, {.sectors = 1, .audio = false}, {.sectors = 2}};
  const Bytes sectors = fixtures::CdSectorPattern(0, 5);
  seeds.Add("cd_image",
            Join({Selected(0, fixtures::CdCueSheet("image.bin", fixtures::AudioTracks({2, 3}))),
                  Bytes{0}, sectors}));
  seeds.Add("cd_image",
            Join({Selected(0, fixtures::CdCueSheet("image.bin", mixed)), Bytes{0}, sectors}));
  seeds.Add("cd_image", Join({Selected(1,
                                       "CD_DA\nTRACK AUDIO\nFILE \"image.bin\" 0 00:00:02\n"
                                       "TRACK AUDIO\nFILE \"image.bin\" 00:00:02 00:00:03\n"),
                              Bytes{0}, sectors}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qp_fuzz_seeds FOLDER\n");
    return 1;
  }
  try {
    SeedWriter seeds(argv[1]);
    WaveSeeds(seeds);
    Mp3Seeds(seeds);
    DsfSeeds(seeds);
    DffSeeds(seeds);
    FlacSeeds(seeds);
    CueSeeds(seeds);
    PlaylistSeeds(seeds);
    IniSeeds(seeds);
    AsioRegistrySeeds(seeds);
    CdImageSeeds(seeds);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "qp_fuzz_seeds: %s\n", failure.what());
    return 1;
  }
  return 0;
}
