#pragma once

// Pieces every library on the driver side of the ASIO-style interface needs
// alike (the driver libraries and the renderer library); header-only, since
// those libraries link nothing of the host's.

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>

#include "output/AsioApi.h"

// Copies text into a fixed field of `size` bytes, cut and zero-terminated.
inline void CopyAsioText(char* field, std::size_t size, std::string_view text) {
  const std::size_t length = std::min(text.size(), size - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// The system time of buffer switches and sample positions, in nanoseconds.
inline int64_t AsioNowNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The one clock of a device without external sync: "Internal", current.
inline AsioError GetInternalClock(AsioClockSource* clocks, int32_t* count) {
  if (clocks == nullptr || count == nullptr || *count < 1) return kAsioInvalidParameter;
  *clocks = AsioClockSource{0, -1, 0, kAsioTrue, {}};
  CopyAsioText(clocks->name, sizeof clocks->name, "Internal");
  *count = 1;
  return kAsioOk;
}

inline AsioError SetInternalClock(int32_t reference) {
  return reference == 0 ? kAsioOk : kAsioInvalidParameter;
}

// True when `infos` asks for `count` (at least one) output buffers, each on
// an output channel below `channels` and no channel twice.
inline bool IsValidOutputRequest(const AsioBufferInfo* infos, int32_t count, int32_t channels) {
  if (infos == nullptr || count <= 0 || count > channels) return false;
  for (int32_t i = 0; i < count; ++i) {
    const AsioBufferInfo& info = infos[i];
    const bool duplicate = std::any_of(infos, infos + i, [&](const AsioBufferInfo& earlier) {
      return earlier.channelNum == info.channelNum;
    });
    if (info.isInput != kAsioFalse || info.channelNum < 0 || info.channelNum >= channels ||
        duplicate) {
      return false;
    }
  }
  return true;
}

// True when the host takes its buffer switches with time information.
inline bool HostTakesTimeInfo(const AsioCallbacks& callbacks) {
  return callbacks.asioMessage != nullptr && callbacks.bufferSwitchTimeInfo != nullptr &&
         callbacks.asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
}
