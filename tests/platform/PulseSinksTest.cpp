#include "platform/PulseSinks.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using Properties = std::vector<std::pair<const char*, const char*>>;

struct ProplistFree {
  void operator()(pa_proplist* list) const { pa_proplist_free(list); }
};
using Proplist = std::unique_ptr<pa_proplist, ProplistFree>;

Proplist Make(const Properties& properties) {
  Proplist list(pa_proplist_new());
  for (const auto& [key, value] : properties)
    pa_proplist_sets(list.get(), key, value);
  return list;
}

TEST(PulseSinksTest, UsbIdPropertiesAreOneToFourHexDigitsWithOrWithoutPrefix) {
  const std::vector<std::pair<const char*, std::optional<uint16_t>>> cases = {
      {"3c5d", 0x3C5D}, {"0x3C5D", 0x3C5D}, {"0X0a17", 0x0A17}, {"1", 1},      {"ffff", 0xFFFF},
      {"0x0", 0},       {"", {}},           {"0x", {}},         {"12345", {}}, {"0x12345", {}},
      {"-1", {}},       {"3c5 ", {}},       {"zz", {}},         {nullptr, {}},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(platform::ParseUsbIdProperty(text), expected) << (text ? text : "(null)");
}

TEST(PulseSinksTest, HardwareIdsComeFromTheSinkOrElseItsCard) {
  const Properties dac = {{"device.vendor.id", "3c5d"}, {"device.product.id", "0x0a17"}};
  struct Case {
    const char* label;
    Properties sink;
    Properties card;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"own ids", dac, {}, "USB\\VID_3C5D&PID_0A17&SINK_out"},
      {"own ids on the USB bus",
       {{"device.bus", "USB"}, {"device.vendor.id", "2f7a"}, {"device.product.id", "101"}},
       {},
       "USB\\VID_2F7A&PID_0101&SINK_out"},
      {"card's ids",
       {},
       {{"device.bus", "usb"}, dac[0], dac[1]},
       "USB\\VID_3C5D&PID_0A17&SINK_out"},
      {"own ids win over the card's",
       dac,
       {{"device.vendor.id", "2f7a"}, {"device.product.id", "0102"}},
       "USB\\VID_3C5D&PID_0A17&SINK_out"},
      {"a half pair is no pair",
       {dac[0]},
       {{"device.vendor.id", "2f7a"}, {"device.product.id", "0102"}},
       "USB\\VID_2F7A&PID_0102&SINK_out"},
      {"PCI ids are not USB ids",
       {{"device.bus", "pci"}, {"device.vendor.id", "8086"}, {"device.product.id", "a170"}},
       {},
       "PULSE\\out"},
      {"the card's bus counts", dac, {{"device.bus", "bluetooth"}}, "PULSE\\out"},
      {"unreadable ids",
       {{"device.vendor.id", "3c5d"}, {"device.product.id", "12345"}},
       {},
       "PULSE\\out"},
      {"no ids", {}, {}, "PULSE\\out"},
  };
  for (const Case& c : cases) {
    const Proplist sink = Make(c.sink);
    const Proplist card = Make(c.card);
    EXPECT_EQ(platform::PulseHardwareId("out", sink.get(), card.get()), c.expected) << c.label;
  }
  EXPECT_EQ(platform::PulseHardwareId("out", nullptr, nullptr), "PULSE\\out");
}

}  // namespace
