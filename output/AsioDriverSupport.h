#pragma once

// Pieces every library on the driver side of the ASIO-style interface needs
// alike (the driver libraries and the renderer library); header-only, since
// those libraries link nothing of the host's.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <optional>
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

// Calls `take(key, value)` for each "Key=Value" line of a driver's settings
// (the [Settings] lines of its registry file); lines without '=' are skipped.
template <typename Take>
void ForEachAsioSetting(const char* lines, Take take) {
  std::string_view rest = lines != nullptr ? lines : "";
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\n'), rest.size());
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    const std::size_t equals = line.find('=');
    if (equals != std::string_view::npos) take(line.substr(0, equals), line.substr(equals + 1));
  }
}

// A setting's leading decimal integer (an optional sign, then digits), or
// `fallback` when it has none or it does not fit.
inline int32_t AsioSettingInt(std::string_view text, int32_t fallback) {
  const std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return fallback;
  text.remove_prefix(start);
  if (text.front() == '+') text.remove_prefix(1);
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() ? value : fallback;
}

// True when `info` asks about an output channel below `channels`.
inline bool IsOutputChannelQuery(const AsioChannelInfo* info, int32_t channels) {
  return info != nullptr && info->isInput == kAsioFalse && info->channel >= 0 &&
         info->channel < channels;
}

// The I/O-format calls (kAsioCanDoIoFormat, kAsioSetIoFormat,
// kAsioGetIoFormat) of a driver whose format is `current`, which offers a
// format when `offers(type)` says so, and which may change it only while it
// is not `streaming` (prepared or running); `change(type)` makes a real
// change. A driver that cannot answer yet (not initialised) is not
// `present`.
struct AsioIoFormatState {
  int32_t current = kAsioFormatPcm;
  bool present = true;
  bool streaming = false;
};

template <typename Offers, typename Change>
AsioError AnswerAsioIoFormat(int32_t selector, void* argument, const AsioIoFormatState& state,
                             Offers offers, Change change) {
  auto* format = static_cast<AsioIoFormat*>(argument);
  if (format == nullptr) return kAsioInvalidParameter;
  if (!state.present) return kAsioNotPresent;
  if (selector == kAsioGetIoFormat) {
    format->formatType = state.current;
    return kAsioSuccess;
  }
  const bool known = format->formatType == kAsioFormatPcm || format->formatType == kAsioFormatDsd;
  if (!known || !offers(format->formatType)) return kAsioNotPresent;
  if (selector == kAsioCanDoIoFormat) return kAsioSuccess;
  if (state.streaming) return kAsioInvalidMode;
  if (format->formatType != state.current) change(format->formatType);
  return kAsioSuccess;
}

// How the next stop of a running driver ends: played out
// (kQpFutureDrainOnStop) or kept for the next start (kQpFuturePauseOnStop).
struct AsioStopMode {
  bool drain = false;
  bool pause = false;
};

// Answers the stop-mode calls, refused unless the driver is `running`;
// nothing for any other selector.
inline std::optional<AsioError> AnswerAsioStopMode(int32_t selector, bool running,
                                                   AsioStopMode& mode) {
  if (selector != kQpFutureDrainOnStop && selector != kQpFuturePauseOnStop) return std::nullopt;
  if (!running) return kAsioInvalidMode;
  (selector == kQpFutureDrainOnStop ? mode.drain : mode.pause) = true;
  return kAsioSuccess;
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

// DSD over PCM on the driver side, for a driver's own fills of a DoP stream
// (kQpFutureDopStream): DoP travels in the integer PCM sample types of 24
// significant bits or more, as the host packs it (the marker in the top
// byte of the left-justified 24-bit word, then the two DSD bytes).
//
// Where a sample's marker byte lies in `type`, or -1 for a type DoP cannot
// travel in (fewer than 24 bits, float, DSD).
inline int DopMarkerOffset(int32_t type) {
  switch (type) {
    case kAsioInt32Lsb:
      return 3;
    case kAsioInt24Lsb:
    case kAsioInt32Lsb24:
      return 2;
    case kAsioInt32Msb24:
      return 1;
    case kAsioInt24Msb:
    case kAsioInt32Msb:
      return 0;
    default:
      return -1;
  }
}

// Writes one DoP idle sample of `phase` (marker 0x05 for 0, 0xFA for 1, then
// the DSD idle bytes 0x96 0x96) in `type` at `out` (AsioSampleTypeBits / 8
// bytes), the bytes the host's converter gives; false for a type DoP cannot
// travel in.
inline bool WriteDopIdleSample(int32_t type, uint32_t phase, uint8_t* out) {
  const uint8_t marker = (phase & 1) == 0 ? 0x05 : 0xFA;
  const uint8_t sign = marker & 0x80 ? 0xFF : 0x00;  // of the right-justified types
  switch (type) {
    case kAsioInt32Lsb: {
      const uint8_t bytes[] = {0x00, 0x96, 0x96, marker};
      std::memcpy(out, bytes, sizeof bytes);
      return true;
    }
    case kAsioInt24Lsb: {
      const uint8_t bytes[] = {0x96, 0x96, marker};
      std::memcpy(out, bytes, sizeof bytes);
      return true;
    }
    case kAsioInt32Lsb24: {
      const uint8_t bytes[] = {0x96, 0x96, marker, sign};
      std::memcpy(out, bytes, sizeof bytes);
      return true;
    }
    case kAsioInt32Msb: {
      const uint8_t bytes[] = {marker, 0x96, 0x96, 0x00};
      std::memcpy(out, bytes, sizeof bytes);
      return true;
    }
    case kAsioInt24Msb: {
      const uint8_t bytes[] = {marker, 0x96, 0x96};
      std::memcpy(out, bytes, sizeof bytes);
      return true;
    }
    case kAsioInt32Msb24: {
      const uint8_t bytes[] = {sign, marker, 0x96, 0x96};
      std::memcpy(out, bytes, sizeof bytes);
      return true;
    }
    default:
      return false;
  }
}

// The phase of the DoP sample that follows the one at `sample` in `type`: 1
// after the marker 0x05, 0 after 0xFA, and 0 after anything else (a stream
// that had no DoP word yet begins with 0x05).
inline uint32_t DopPhaseAfter(int32_t type, const uint8_t* sample) {
  const int at = DopMarkerOffset(type);
  if (at < 0) return 0;
  return sample[at] == 0x05 ? 1 : 0;
}
