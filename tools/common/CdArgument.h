#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/TextConv.h"

namespace tools {

// "cd:DEVICE" on a command line names an audio CD drive or disc image. The
// device after the prefix ("" for the prefix alone); nothing when `arg` is
// no such argument.
inline std::optional<std::wstring> CdDeviceArgument(const std::string& arg) {
  constexpr std::string_view kPrefix = "cd:";
  if (!arg.starts_with(kPrefix)) return std::nullopt;
  return platform::FromUtf8(arg.substr(kPrefix.size()));
}

}  // namespace tools
