#pragma once

#include <optional>
#include <string>
#include <vector>

namespace play {

// What the command line asks of one run of the terminal player.
struct PlayOptions {
  std::vector<std::wstring> files;
  std::wstring cdDevice;  // from "cd:DEVICE"; then `files` is empty
  std::optional<std::wstring> device;
  std::optional<int> decodeMode;  // 1 native, 0 DSD over PCM
  bool ram = false;
  std::optional<int> mp3GaplessThreshold;  // dB; gapless on when set
  int repeat = 0;
  bool shuffle = false;
  std::vector<std::string> virtualSettings;  // "Key=Value" lines
  std::string capture;
  bool listDevices = false;
  bool json = false;
  bool help = false;
  bool version = false;
};

extern const char* const kUsage;

// Reads the arguments after the program name; false with a one-line reason
// for anything it does not understand.
bool ParsePlayOptions(const std::vector<std::string>& args, PlayOptions* options,
                      std::string* error);

}  // namespace play
