#pragma once

#include <string>
#include <vector>

#include "tests/fixtures/WavWriter.h"

namespace bench {

// The files of a big playlist, made once per process under $TMPDIR: 10,000
// of them, 4,000 tagged WAVE, 2,000 MP3 with a LAME header, 1,500 MP3
// without any encoder header, 2,000 DSF and 500 cue sheets of two tracks
// (10,500 items). The MP3s are made with lame; without it nothing is ready.
struct BigPlaylistLibrary {
  BigPlaylistLibrary();

  struct File {
    std::string path;
    bool wholeFile;  // scanned to its end when added (an MP3 without a header)
  };
  fixtures::TempDir dir;
  std::vector<std::wstring> paths;  // in the order made
  std::vector<File> files;
  bool ready = false;

 private:
  void Add(const std::string& path, bool wholeFile);
};

const BigPlaylistLibrary& TheBigPlaylistLibrary();

}  // namespace bench
