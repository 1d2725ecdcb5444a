#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Opens the maker's desktop endpoints once, briefly, in a format the device
// takes natively, and closes them again: the playback thread does this before
// each play command so a DAC that went to sleep is awake when the music
// starts. Its result is only informative.
class CWasapiAccess {
 public:
  // A device format: container and valid bits at a rate.
  struct Format {
    std::uint32_t rate;
    std::uint16_t containerBits;
    std::uint16_t validBits;
  };

  CWasapiAccess();
  virtual ~CWasapiAccess() = default;

  // 1 when endpoints were found and every one opened and closed, else 0.
  int WarmUpEndpoints();
  // The endpoints whose hardware id carries `id` (vendor in the low 16 bits,
  // product in the high 16 bits).
  bool FindEndpointsById(std::uint32_t id, std::vector<std::wstring>& endpointIds) const;
  // The first format, in the order 32/32, 32/24, 24/24, 16/16 at 44100 Hz and
  // then at 48000 Hz, that the endpoint takes without conversion.
  bool FindExclusiveFormat(const std::wstring& endpointId, Format& format) const;

 private:
  std::vector<std::uint32_t> ids_;
};
