#pragma once

#include <string>
#include <string_view>

namespace platform {

// Wide text (UTF-32 in wchar_t on Linux) is the program's own; UTF-8 is what
// the operating system takes (file names, environment), UTF-16 what crosses
// the plug-in boundary. Malformed input becomes U+FFFD, never a fault.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
std::u16string ToUtf16(std::wstring_view text);
std::wstring FromUtf16(std::u16string_view text);

}  // namespace platform
