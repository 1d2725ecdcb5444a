#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The desktop's render endpoints: the sound server's sinks.
struct RenderEndpointInfo {
  std::wstring friendlyName;  // the sink's description
  std::wstring endpointId;    // the sink's name
  std::wstring hardwareId;    // "USB\VID_xxxx&PID_xxxx&..." or "PULSE\..."
};
inline constexpr std::size_t kMaxRenderEndpoints = 64;

// At most 64 endpoints in the server's order; an endpoint whose name or id
// is longer than 127 characters, or whose hardware id is longer than 255,
// is skipped without counting. Empty without a server.
std::vector<RenderEndpointInfo> EnumerateRenderEndpoints();

// The hardware id of one endpoint, when it exists and fits in `capacity`
// characters with a terminator.
bool QueryEndpointHardwareId(const std::wstring& endpointId, std::wstring& hardwareId,
                             std::size_t capacity);
