#pragma once

#include <cstdint>

namespace core {

// What the transport does: the playback thread's state, and the facade's
// copy of it for the user interface.
enum class Transport : std::int32_t { kStopped = 0, kPlaying = 1, kPaused = 2 };

}  // namespace core
