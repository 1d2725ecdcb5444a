#pragma once

#include <ostream>

#include "tools/play/PlayOptions.h"

namespace play {

// Exit codes of the terminal player.
enum ExitCode : int { kExitOk = 0, kExitUsage = 1, kExitFailure = 2 };

// Plays the files of `options` through the player's facade, playback thread
// and output to the end (or until the user quits), writing one line per
// event to `out` and failures to `err`.
int RunPlay(const PlayOptions& options, std::ostream& out, std::ostream& err);

// Lists every output device that opens, one line each.
int ListDevices(const PlayOptions& options, std::ostream& out);

}  // namespace play
