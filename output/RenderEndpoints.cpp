#include "output/RenderEndpoints.h"

#include "platform/PulseSinks.h"
#include "platform/TextConv.h"

namespace {

constexpr std::size_t kMaxNameCharacters = 127;
constexpr std::size_t kMaxHardwareIdCharacters = 255;

}  // namespace

std::vector<RenderEndpointInfo> EnumerateRenderEndpoints() {
  std::vector<RenderEndpointInfo> endpoints;
  const auto sinks = platform::ListPulseSinks();
  if (!sinks) return endpoints;
  for (const auto& sink : *sinks) {
    if (endpoints.size() == kMaxRenderEndpoints) break;
    RenderEndpointInfo info{platform::FromUtf8(sink.description), platform::FromUtf8(sink.name),
                            platform::FromUtf8(sink.hardwareId)};
    if (info.friendlyName.size() > kMaxNameCharacters ||
        info.endpointId.size() > kMaxNameCharacters ||
        info.hardwareId.size() > kMaxHardwareIdCharacters) {
      continue;
    }
    endpoints.push_back(std::move(info));
  }
  return endpoints;
}

bool QueryEndpointHardwareId(const std::wstring& endpointId, std::wstring& hardwareId,
                             std::size_t capacity) {
  const auto sinks = platform::ListPulseSinks();
  if (!sinks) return false;
  const std::string name = platform::ToUtf8(endpointId);
  for (const auto& sink : *sinks) {
    if (sink.name != name) continue;
    const std::wstring id = platform::FromUtf8(sink.hardwareId);
    if (id.empty() || id.size() + 1 > capacity) return false;
    hardwareId = id;
    return true;
  }
  return false;
}
