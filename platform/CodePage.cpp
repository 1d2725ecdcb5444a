#include "platform/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

#include <memory>

#include "platform/TextConv.h"

namespace platform {

std::optional<std::wstring> DecodeCodePage(std::string_view bytes, const char* codePage) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, decltype(&ucnv_close)> conv(ucnv_open(codePage, &status),
                                                          &ucnv_close);
  if (U_FAILURE(status) || !conv) return std::nullopt;
  if (bytes.empty()) return std::wstring();
  // A legacy byte never yields more than two UTF-16 units.
  std::u16string units(bytes.size() * 2 + 1, u'\0');
  const int32_t length = ucnv_toUChars(conv.get(), units.data(), static_cast<int32_t>(units.size()),
                                       bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) return std::nullopt;
  units.resize(static_cast<std::size_t>(length));
  return FromUtf16(units);
}

namespace {

// A single-byte reading scored at least this (of 100) beats code page 932.
constexpr int32_t kConvincingConfidence = 50;

// True when the bytes convert from the code page without a single fault.
bool ConvertsCleanly(std::string_view bytes, const char* codePage) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, decltype(&ucnv_close)> conv(ucnv_open(codePage, &status),
                                                          &ucnv_close);
  if (U_FAILURE(status)) return false;
  ucnv_setToUCallBack(conv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  // Flushing makes a sequence cut off at the end count as a fault too.
  std::u16string units(bytes.size() * 2 + 1, u'\0');
  char16_t* target = units.data();
  const char* source = bytes.data();
  ucnv_toUnicode(conv.get(), &target, target + units.size(), &source, source + bytes.size(),
                 nullptr, true, &status);
  return U_SUCCESS(status);
}

bool HasHighBytes(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// True when every byte pairs up as code page 932 defines it, with at least
// one double-byte character.
bool IsJapaneseText(std::string_view bytes) {
  bool doubleByte = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80 || (lead >= 0xA1 && lead <= 0xDF)) continue;  // ASCII, half-width kana
    const bool leadOk = (lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC);
    if (!leadOk || i + 1 >= bytes.size()) return false;
    const auto trail = static_cast<unsigned char>(bytes[++i]);
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
    doubleByte = true;
  }
  if (!doubleByte) return false;
  // The pairs must also name characters the code page really has.
  return ConvertsCleanly(bytes, kJapaneseCodePage);
}

}  // namespace

std::optional<std::string> DetectCodePage(std::string_view bytes) {
  if (ConvertsCleanly(bytes, "UTF-8"))
    return std::string(HasHighBytes(bytes) ? "UTF-8" : "US-ASCII");
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCharsetDetector, decltype(&ucsdet_close)> detector(ucsdet_open(&status),
                                                                      &ucsdet_close);
  if (U_FAILURE(status) || !detector) return std::nullopt;
  ucsdet_setText(detector.get(), bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  int32_t count = 0;
  const UCharsetMatch** matches = ucsdet_detectAll(detector.get(), &count, &status);
  if (U_FAILURE(status)) return std::nullopt;
  // Candidates best first; text that is not UTF-8 is not UTF-16 either here
  // (it ends at its first zero byte), and a candidate must read every byte.
  for (int32_t i = 0; i < count; ++i) {
    const char* name = ucsdet_getName(matches[i], &status);
    const int32_t confidence = ucsdet_getConfidence(matches[i], &status);
    if (U_FAILURE(status) || name == nullptr) return std::nullopt;
    const std::string_view candidate(name);
    if (candidate.starts_with("UTF-")) continue;
    if (confidence < kConvincingConfidence && IsJapaneseText(bytes)) return kJapaneseCodePage;
    if (ConvertsCleanly(bytes, name)) return std::string(candidate);
  }
  return std::string(kLegacyCodePage);
}

std::optional<std::wstring> DecodeDetectedCodePage(std::string_view bytes) {
  const auto codePage = DetectCodePage(bytes);
  if (!codePage) return std::nullopt;
  return DecodeCodePage(bytes, codePage->c_str());
}

}  // namespace platform
