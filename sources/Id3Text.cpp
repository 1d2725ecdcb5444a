#include "sources/Id3Text.h"

#include <string_view>

#include "platform/CodePage.h"
#include "platform/TextConv.h"

namespace {

std::wstring DecodeUtf16(const std::uint8_t* bytes, std::size_t size, bool bigEndian) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(bigEndian ? (bytes[i] << 8) | bytes[i + 1]
                                                      : (bytes[i + 1] << 8) | bytes[i]);
    if (unit == 0) break;
    units += unit;
  }
  return platform::FromUtf16(units);
}

std::string_view UpToZero(const std::uint8_t* bytes, std::size_t size) {
  std::size_t length = 0;
  while (length < size && bytes[length] != 0)
    ++length;
  return {reinterpret_cast<const char*>(bytes), length};
}

}  // namespace

std::wstring DecodeId3Text(const std::uint8_t* bytes, std::size_t size, std::uint8_t encoding) {
  if (bytes == nullptr) return {};
  switch (encoding) {
    case 1:
      if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return DecodeUtf16(bytes + 2, size - 2, false);
      }
      return size >= 2 ? DecodeUtf16(bytes + 2, size - 2, true) : std::wstring();
    case 2:
      return DecodeUtf16(bytes, size, true);
    case 3:
      return platform::FromUtf8(UpToZero(bytes, size));
    default:
      return platform::DecodeCodePage(UpToZero(bytes, size), platform::kLegacyCodePage)
          .value_or(std::wstring());
  }
}
