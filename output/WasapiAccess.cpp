#include "output/WasapiAccess.h"

#include "output/DevNameInfo.h"
#include "output/RenderEndpoints.h"
#include "platform/PulseClient.h"
#include "platform/TextConv.h"

namespace {

constexpr std::uint32_t MakeUsbId(std::uint16_t vendor, std::uint16_t product) {
  return vendor | std::uint32_t{product} << 16;
}

constexpr CWasapiAccess::Format kCandidates[] = {
    {44100, 32, 32}, {44100, 32, 24}, {44100, 24, 24}, {44100, 16, 16},
    {48000, 32, 32}, {48000, 32, 24}, {48000, 24, 24}, {48000, 16, 16},
};

// The container and valid bits a sink's sample format holds natively.
bool Holds(const pa_sample_spec& spec, const CWasapiAccess::Format& format) {
  switch (spec.format) {
    case PA_SAMPLE_S32LE:
      return format.containerBits == 32 && format.validBits == 32;
    case PA_SAMPLE_S24_32LE:
      return format.containerBits == 32 && format.validBits == 24;
    case PA_SAMPLE_S24LE:
      return format.containerBits == 24 && format.validBits == 24;
    case PA_SAMPLE_S16LE:
      return format.containerBits == 16 && format.validBits == 16;
    default:
      return false;
  }
}

pa_sample_format_t SampleFormatOf(const CWasapiAccess::Format& format) {
  if (format.containerBits == 16) return PA_SAMPLE_S16LE;
  if (format.containerBits == 24) return PA_SAMPLE_S24LE;
  return format.validBits == 24 ? PA_SAMPLE_S24_32LE : PA_SAMPLE_S32LE;
}

// Opens a stereo playback stream on the sink in the format, corked, and
// closes it again; true when the server accepted it.
bool OpenAndClose(platform::PulseClient& client, const std::string& sink,
                  const CWasapiAccess::Format& format) {
  platform::PulseClient::Lock lock(client);
  const pa_sample_spec spec{SampleFormatOf(format), format.rate, 2};
  pa_stream* stream = pa_stream_new(client.context(), "warm-up", &spec, nullptr);
  if (stream == nullptr) return false;
  pa_stream_set_state_callback(
      stream, [](pa_stream*, void* c) { static_cast<platform::PulseClient*>(c)->Signal(); },
      &client);
  bool ready = false;
  if (pa_stream_connect_playback(
          stream, sink.c_str(), nullptr,
          static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_DONT_MOVE), nullptr,
          nullptr) == 0) {
    client.Wait(
        [stream] {
          const pa_stream_state_t state = pa_stream_get_state(stream);
          return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        },
        platform::PulseDeadline(platform::kPulseTimeout));
    ready = pa_stream_get_state(stream) == PA_STREAM_READY;
    pa_stream_disconnect(stream);
  }
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_unref(stream);
  return ready;
}

}  // namespace

CWasapiAccess::CWasapiAccess() : ids_{MakeUsbId(0x3C5D, 0x0A17)} {}

bool CWasapiAccess::FindEndpointsById(std::uint32_t id,
                                      std::vector<std::wstring>& endpointIds) const {
  for (const auto& endpoint : EnumerateRenderEndpoints()) {
    std::uint16_t vendor = 0, product = 0;
    if (ParseVidPid(endpoint.hardwareId, vendor, product) && MakeUsbId(vendor, product) == id) {
      endpointIds.push_back(endpoint.endpointId);
    }
  }
  return !endpointIds.empty();
}

bool CWasapiAccess::FindExclusiveFormat(const std::wstring& endpointId, Format& format) const {
  const auto sinks = platform::ListPulseSinks();
  if (!sinks) return false;
  const std::string name = platform::ToUtf8(endpointId);
  for (const auto& sink : *sinks) {
    if (sink.name != name) continue;
    for (const auto& candidate : kCandidates) {
      if (sink.spec.rate == candidate.rate && Holds(sink.spec, candidate)) {
        format = candidate;
        return true;
      }
    }
  }
  return false;
}

int CWasapiAccess::WarmUpEndpoints() {
  std::vector<std::wstring> endpoints;
  for (const std::uint32_t id : ids_) {
    if (FindEndpointsById(id, endpoints)) break;
  }
  if (endpoints.empty()) return 0;
  platform::PulseClient client;
  if (!client.Connect()) return 0;
  bool all = true;
  for (const auto& endpoint : endpoints) {
    Format format{};
    all = FindExclusiveFormat(endpoint, format) &&
          OpenAndClose(client, platform::ToUtf8(endpoint), format) && all;
  }
  return all ? 1 : 0;
}
