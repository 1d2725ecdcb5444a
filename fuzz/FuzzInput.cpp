#include "fuzz/FuzzInput.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/TextConv.h"
#include "tests/fixtures/WavWriter.h"

namespace fuzzing {

const std::string& ScratchFolder() {
  static const fixtures::TempDir folder;
  return folder.path();
}

std::wstring WriteScratchFile(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchFolder() + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() ||
      std::fclose(file) != 0) {
    Violated("cannot write the fuzz input to the scratch folder");
  }
  return platform::FromUtf8(path);
}

const std::string& SharedWavPath() {
  static const std::string path = [] {
    const std::string folder = "/tmp/qp-fuzz-media";
    const std::string wav = folder + "/a.wav";
    std::filesystem::create_directories(folder);
    if (!std::filesystem::exists(wav)) {
      // Written aside and renamed, so a process starting alongside never
      // reads half a file.
      const std::string aside = wav + "." + std::to_string(getpid());
      const fixtures::WavFormat cd{
          .formatTag = 1, .channels = 2, .sampleRate = 44100, .bitsPerSample = 16};
      fixtures::WriteWav(aside, cd, fixtures::AudioPattern(2 * cd.AvgBytesPerSec()));
      std::filesystem::rename(aside, wav);
    }
    return wav;
  }();
  return path;
}

void Violated(const char* what) {
  std::fprintf(stderr, "fuzz target: %s\n", what);
  std::abort();
}

}  // namespace fuzzing

// libcdio's cue sheet parser loses a copied string on some damaged sheets
// when the open fails (libcdio 2.1): not ours to free, so not a finding.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libcdio.so\n";
}
