#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What the fuzz targets share: a private folder per process for the files a
// parser that only takes paths reads, and one real audio file in a fixed
// folder that cue sheets and playlists of the corpus name.
namespace fuzzing {

// A folder of this process, removed when it ends.
const std::string& ScratchFolder();

// Writes `bytes` to `name` in the scratch folder and returns its path as the
// sources take it. Aborts when the file cannot be written: a fuzz run that
// feeds nothing to the parser must not look clean.
std::wstring WriteScratchFile(const std::string& name, std::string_view bytes);
inline std::wstring WriteScratchFile(const std::string& name, const std::uint8_t* data,
                                     std::size_t size) {
  return WriteScratchFile(name, std::string_view(reinterpret_cast<const char*>(data), size));
}

// "/tmp/qp-fuzz-media/a.wav": two seconds of 16-bit stereo at 44100 Hz,
// written on first use (by the seed writer or any target) and then shared.
const std::string& SharedWavPath();

// Ends the process with a message: a parser broke a promise its header makes.
[[noreturn]] void Violated(const char* what);

}  // namespace fuzzing
