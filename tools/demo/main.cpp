// Writes the demo media into a folder: tones in the formats the player plays;
// or, with --playlist, a playlist file of given media as the player lists them.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "core/PlaylistCtrl.h"
#include "core/PlaylistFile.h"
#include "platform/TextConv.h"
#include "sources/PluginCtrl.h"

#include "tests/fixtures/DsfWriter.h"
#include "tests/fixtures/WavWriter.h"

namespace {

// A sine tone of the given frequency at -6 dBFS, 16- or 24-bit, all channels alike.
fixtures::Bytes Tone(const fixtures::WavFormat& format, double frequency, double seconds) {
  const auto frames = static_cast<std::size_t>(format.sampleRate * seconds);
  const int bytesPerSample = format.bitsPerSample / 8;
  const double fullScale = std::ldexp(1.0, format.bitsPerSample - 1) - 1;
  fixtures::Bytes out;
  out.reserve(frames * format.BlockAlign());
  for (std::size_t i = 0; i < frames; ++i) {
    const double phase =
        2 * std::numbers::pi * frequency * static_cast<double>(i) / format.sampleRate;
    const auto sample = static_cast<std::int32_t>(std::lround(0.5 * fullScale * std::sin(phase)));
    for (int channel = 0; channel < format.channels; ++channel) {
      for (int b = 0; b < bytesPerSample; ++b)
        out.push_back(static_cast<std::uint8_t>(sample >> (8 * b)));
    }
  }
  return out;
}

// A sine tone at -6 dBFS as 1-bit DSD from a second-order sigma-delta
// modulator, packed as DSF stores it (earliest bit lowest), all channels alike.
std::vector<fixtures::Bytes> DsdTone(std::uint32_t channels, std::uint32_t rate, double frequency,
                                     double seconds) {
  const auto bits = static_cast<std::size_t>(rate * seconds) / 8 * 8;
  fixtures::Bytes bytes(bits / 8, 0);
  double integrator1 = 0, integrator2 = 0, feedback = 0;
  for (std::size_t i = 0; i < bits; ++i) {
    const double input =
        0.5 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate);
    integrator1 += input - feedback;
    integrator2 += integrator1 - feedback;
    feedback = integrator2 >= 0 ? 1.0 : -1.0;
    if (feedback > 0) bytes[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
  }
  return std::vector<fixtures::Bytes>(channels, bytes);
}

}  // namespace

// The files in the order given, each added as the player adds a file.
int WritePlaylist(const std::string& out, const std::vector<std::string>& files) {
  auto plugins = std::make_shared<CPluginCtrl>();
  plugins->LoadPlugins();
  CPlaylistCtrl playlist(std::make_shared<CPlaylistCtrlImpl>(), plugins);
  for (const auto& file : files) {
    if (playlist.AddFile(platform::FromUtf8(file), playlist.Count()) == 0) {
      std::fprintf(stderr, "quorelle-demo: %s does not open\n", file.c_str());
      return 2;
    }
  }
  return WritePlaylistFile(playlist, platform::FromUtf8(out)) ? 0 : 2;
}

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--playlist") == 0) {
    return WritePlaylist(argv[2], std::vector<std::string>(argv + 3, argv + argc));
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: quorelle-demo FOLDER\n       quorelle-demo --playlist OUT.ppl FILE...\n");
    return 1;
  }
  const std::string folder = argv[1];
  const fixtures::WavFormat cd{1, 2, 44100, 16};
  const fixtures::WavFormat hiRes{1, 2, 96000, 24};
  fixtures::WavFile()
      .Format(cd)
      .Chunk("LIST", fixtures::InfoListBody({{"INAM", {'A', '4', ' ', 'T', 'o', 'n', 'e'}},
                                             {"IART", {'C', 'o', 'r', 'v', 'a', 'n', 'e'}}}))
      .Data(Tone(cd, 440.0, 3.0))
      .Write(folder + "/01 A4 tone 44.1k-16.wav");
  fixtures::WriteWav(folder + "/02 E5 tone 96k-24.wav", hiRes, Tone(hiRes, 659.25, 3.0));
  const fixtures::Bytes tag = fixtures::Id3v2Tag(
      {fixtures::TextFrame("TIT2", 3, {'1', ' ', 'k', 'H', 'z', ' ', 'D', 'S', 'D'}),
       fixtures::TextFrame("TPE1", 3, {'C', 'o', 'r', 'v', 'a', 'n', 'e'})});
  fixtures::WriteFile(folder + "/03 1 kHz tone DSD64.dsf",
                      fixtures::BuildDsf({.tag = tag}, DsdTone(2, 2822400, 1000.0, 3.0)));

  // One tone cut in two at a sample, for an MP3 pair that joins gaplessly
  // (scripts/run encodes both halves).
  const fixtures::Bytes suite = Tone(cd, 523.25, 6.0);
  const auto middle = static_cast<long>(suite.size() / 2 / cd.BlockAlign() * cd.BlockAlign());
  fixtures::WriteWav(folder + "/04 C5 tone part 1.wav", cd,
                     fixtures::Bytes(suite.begin(), suite.begin() + middle));
  fixtures::WriteWav(folder + "/05 C5 tone part 2.wav", cd,
                     fixtures::Bytes(suite.begin() + middle, suite.end()));

  // A cue sheet: two tracks of one file.
  fixtures::WriteWav(folder + "/06 G4 tone.wav", cd, Tone(cd, 392.0, 4.0));
  const std::string sheet =
      "PERFORMER \"Corvane\"\n"
      "FILE \"06 G4 tone.wav\" WAVE\n"
      "  TRACK 01 AUDIO\n    TITLE \"G4 Theme\"\n    INDEX 01 00:00:00\n"
      "  TRACK 02 AUDIO\n    TITLE \"G4 Variation\"\n    INDEX 01 00:02:00\n";
  fixtures::WriteFile(folder + "/06 G4 tone.cue", fixtures::Bytes(sheet.begin(), sheet.end()));
  return 0;
}
