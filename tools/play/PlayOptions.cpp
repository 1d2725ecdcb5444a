#include "tools/play/PlayOptions.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "output/EngineSettings.h"
#include "platform/TextConv.h"
#include "tools/common/CdArgument.h"

namespace play {

const char* const kUsage =
    "usage: quorelle-play [OPTIONS] FILE...\n"
    "  FILE               WAVE, MP3, DSF (any plug-in format), .cue, .ppl, or cd:DEVICE\n"
    "                     (a drive such as /dev/sr0, or a disc image); files are added\n"
    "                     in natural order, playlist files expanded\n"
    "  --device NAME      an output driver's name, \"WASAPI: \" + a desktop sink's\n"
    "                     description, or \"Virtual DAC\"; default: the configured\n"
    "                     device, else \"Virtual DAC\"\n"
    "  --dsd native|dop   how DSD is sent (default: the configured mode)\n"
    "  --ram              Expand to RAM: decode each track whole before it plays\n"
    "  --mp3-gapless DB   MP3 gapless playback on, silence threshold DB (e.g. -45)\n"
    "  --repeat off|title|playlist\n"
    "  --shuffle\n"
    "  --virtual KEY=VALUE  a setting of the Virtual DAC, repeatable: Channels, Rates,\n"
    "                     DsdRates, BufferSize, DsdBufferSize, PcmSampleType,\n"
    "                     DsdSampleType, OutputReady, Clock=real|free|manual\n"
    "  --capture PREFIX   Virtual DAC: write what it receives to PREFIX.<channel>.raw\n"
    "  --list-devices     every output device that opens: its name, kind, and\n"
    "                     \"recognised\" for the maker's devices\n"
    "  --json             events as JSON lines\n"
    "  --help, --version\n"
    "keys while playing: space pause/resume, n next, p previous, left/right seek 10 s,\n"
    "q quit\n";

namespace {

constexpr std::array<const char*, 9> kVirtualKeys = {
    "Channels",      "Rates",         "DsdRates",    "BufferSize", "DsdBufferSize",
    "PcmSampleType", "DsdSampleType", "OutputReady", "Clock"};

bool ParseInteger(const std::string& text, int* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || number < -1000000 || number > 1000000) return false;
  *value = static_cast<int>(number);
  return true;
}

bool CheckVirtualSetting(const std::string& setting, std::string* error) {
  const auto equals = setting.find('=');
  const std::string key = setting.substr(0, equals);
  if (equals == std::string::npos ||
      std::find(kVirtualKeys.begin(), kVirtualKeys.end(), key) == kVirtualKeys.end()) {
    *error = "--virtual takes KEY=VALUE with one of the Virtual DAC's keys, not '" + setting + "'";
    return false;
  }
  const std::string value = setting.substr(equals + 1);
  if (key == "Clock" && value != "real" && value != "free" && value != "manual") {
    *error = "--virtual Clock= takes real, free or manual";
    return false;
  }
  return true;
}

}  // namespace

bool ParsePlayOptions(const std::vector<std::string>& args, PlayOptions* options,
                      std::string* error) {
  *options = {};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    auto value = [&]() -> const std::string& { return args[++i]; };
    auto missing = [&] {
      *error = arg + " needs a value";
      return false;
    };
    if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--version") {
      options->version = true;
    } else if (arg == "--ram") {
      options->ram = true;
    } else if (arg == "--shuffle") {
      options->shuffle = true;
    } else if (arg == "--json") {
      options->json = true;
    } else if (arg == "--list-devices") {
      options->listDevices = true;
    } else if (arg == "--device") {
      if (!hasValue) return missing();
      options->device = platform::FromUtf8(value());
    } else if (arg == "--dsd") {
      if (!hasValue) return missing();
      const std::string& mode = value();
      if (mode != "native" && mode != "dop") {
        *error = "--dsd takes native or dop";
        return false;
      }
      options->decodeMode = mode == "native" ? kDecodeNative : kDecodeDop;
    } else if (arg == "--mp3-gapless") {
      if (!hasValue) return missing();
      int threshold = 0;
      if (!ParseInteger(value(), &threshold)) {
        *error = "--mp3-gapless takes a threshold in dB, such as -45";
        return false;
      }
      options->mp3GaplessThreshold = threshold;
    } else if (arg == "--repeat") {
      if (!hasValue) return missing();
      const std::string& mode = value();
      static constexpr std::array<const char*, 3> kModes = {"off", "title", "playlist"};
      const auto found = std::find(kModes.begin(), kModes.end(), mode);
      if (found == kModes.end()) {
        *error = "--repeat takes off, title or playlist";
        return false;
      }
      options->repeat = static_cast<int>(found - kModes.begin());
    } else if (arg == "--virtual") {
      if (!hasValue) return missing();
      const std::string& setting = value();
      if (!CheckVirtualSetting(setting, error)) return false;
      options->virtualSettings.push_back(setting);
    } else if (arg == "--capture") {
      if (!hasValue) return missing();
      options->capture = value();
      if (options->capture.empty()) {
        *error = "--capture needs a file prefix";
        return false;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else if (const auto device = tools::CdDeviceArgument(arg)) {
      if (!options->cdDevice.empty() || device->empty()) {
        *error = "give one cd:DEVICE with a drive or disc image";
        return false;
      }
      options->cdDevice = *device;
    } else {
      options->files.push_back(platform::FromUtf8(arg));
    }
  }
  if (!options->cdDevice.empty() && !options->files.empty()) {
    *error = "an audio CD replaces the playlist: give cd:DEVICE without other files";
    return false;
  }
  return true;
}

}  // namespace play
