#include "platform/PulseSinks.h"

#include <strings.h>
#include <cctype>
#include <cstdio>

namespace platform {
namespace {

struct UsbIds {
  std::uint16_t vendor;
  std::uint16_t product;
};

const char* Property(const pa_proplist* list, const char* key) {
  return list != nullptr ? pa_proplist_gets(list, key) : nullptr;
}

std::optional<UsbIds> IdsOf(const pa_proplist* list) {
  const auto vendor = ParseUsbIdProperty(Property(list, PA_PROP_DEVICE_VENDOR_ID));
  const auto product = ParseUsbIdProperty(Property(list, PA_PROP_DEVICE_PRODUCT_ID));
  if (!vendor || !product) return std::nullopt;
  return UsbIds{*vendor, *product};
}

}  // namespace

std::optional<std::uint16_t> ParseUsbIdProperty(const char* text) {
  if (text == nullptr) return std::nullopt;
  std::string_view digits(text);
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
  }
  if (digits.empty() || digits.size() > 4) return std::nullopt;
  std::uint16_t value = 0;
  for (char c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const int digit = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    value = static_cast<std::uint16_t>(value * 16 + digit);
  }
  return value;
}

std::string PulseHardwareId(std::string_view sinkName, const pa_proplist* sinkProperties,
                            const pa_proplist* cardProperties) {
  // A pair is taken whole from one list, so ids of two devices never mix.
  const bool ownIds = IdsOf(sinkProperties).has_value();
  const pa_proplist* source = ownIds ? sinkProperties : cardProperties;
  const auto ids = IdsOf(source);
  // PCI, Bluetooth and other buses have ids too, in other numbering spaces.
  const char* bus = Property(sinkProperties, PA_PROP_DEVICE_BUS);
  if (bus == nullptr) bus = Property(cardProperties, PA_PROP_DEVICE_BUS);
  if (ids && (bus == nullptr || strcasecmp(bus, "usb") == 0)) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "USB\\VID_%04X&PID_%04X&SINK_", ids->vendor, ids->product);
    return prefix + std::string(sinkName);
  }
  return "PULSE\\" + std::string(sinkName);
}

}  // namespace platform
