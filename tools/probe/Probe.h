#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace probe {

// Exit codes of the probe tool.
enum ExitCode : int { kExitOk = 0, kExitUsage = 1, kExitFailure = 2 };

// Runs one probe command (the arguments after the program name): "plugins"
// lists the loaded plug-ins as JSON lines, "info PATH" prints each track's
// record as a JSON line, "playlist FILE.ppl" prints each item a playlist
// file loads as a JSON line with the keys of "info", "read PATH [--track N]
// [--range FIRST LAST OFFSET]" writes the delivered audio bytes to `out`.
// "info" and "read" take "--gapless DB": MP3 gapless playback on with that
// threshold, and "cd:DEVICE" as PATH: the audio tracks of a CD drive or disc
// image. "--help" prints the usage and "--version" the program's version,
// both to `out`.
int RunProbe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace probe
