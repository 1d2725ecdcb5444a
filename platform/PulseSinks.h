#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// How long the player waits for the sound server to answer a request.
inline constexpr std::chrono::milliseconds kPulseTimeout{3000};

// One sink of the sound server as the player lists and opens it.
struct PulseSink {
  std::string name;         // the server's unique sink name
  std::string description;  // the friendly name (the sink name when it has none)
  std::string hardwareId;   // PulseHardwareId
  pa_sample_spec spec{};
  pa_channel_map channelMap{};
};

// A USB vendor or product id as the server's properties spell it: one to
// four hexadecimal digits, with or without "0x"; nullopt for anything else.
std::optional<std::uint16_t> ParseUsbIdProperty(const char* text);

// The hardware id of a sink, the one place it is built:
// "USB\VID_3C5D&PID_0A17&SINK_<sink name>" (upper-case hex) when the sink's
// own properties, or else its card's, carry both device.vendor.id and
// device.product.id and the bus they name (device.bus), if any, is USB;
// "PULSE\<sink name>" otherwise. A null property list counts as empty.
std::string PulseHardwareId(std::string_view sinkName, const pa_proplist* sinkProperties,
                            const pa_proplist* cardProperties);

// The server's sinks through a connection of their own; nullopt when no
// server answers within `timeout`.
std::optional<std::vector<PulseSink>> ListPulseSinks(
    std::chrono::milliseconds timeout = kPulseTimeout);

}  // namespace platform
