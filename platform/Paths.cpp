#include "platform/Paths.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <system_error>

#include "platform/TextConv.h"

namespace platform {
namespace {

bool EndsWithIgnoringCase(const std::wstring& text, const std::wstring& suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](wchar_t a, wchar_t b) {
    return std::towlower(static_cast<wint_t>(a)) == std::towlower(static_cast<wint_t>(b));
  });
}

}  // namespace

std::wstring FileExtension(const std::wstring& path) {
  const auto slash = path.find_last_of(L"/\\");
  const auto dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return {};
  return path.substr(dot);
}

std::wstring ExecutableDirectory() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return FromUtf8(exe.parent_path().string());
}

std::vector<std::wstring> ListFiles(const std::wstring& folder, const std::wstring& suffix) {
  std::vector<std::wstring> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(ToUtf8(folder), error), end; !error && it != end;
       it.increment(error)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    std::wstring name = FromUtf8(it->path().filename().string());
    if (EndsWithIgnoringCase(name, suffix)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace platform
