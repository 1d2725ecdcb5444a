#include "platform/TextCompare.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace platform {
namespace {

bool IsDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}

char32_t Fold(wchar_t c) {
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

int Sign(long long difference) {
  return difference < 0 ? -1 : (difference > 0 ? 1 : 0);
}

// Compares the digit runs starting at a[i] and b[j] by value, without limit
// on their length, and moves i and j past them.
int CompareDigitRuns(std::wstring_view a, std::size_t& i, std::wstring_view b, std::size_t& j) {
  while (i < a.size() && a[i] == L'0' && i + 1 < a.size() && IsDigit(a[i + 1]))
    ++i;
  while (j < b.size() && b[j] == L'0' && j + 1 < b.size() && IsDigit(b[j + 1]))
    ++j;
  std::size_t endA = i, endB = j;
  while (endA < a.size() && IsDigit(a[endA]))
    ++endA;
  while (endB < b.size() && IsDigit(b[endB]))
    ++endB;
  // Without leading zeros the longer run is the larger number.
  int result = Sign(static_cast<long long>(endA - i) - static_cast<long long>(endB - j));
  if (result == 0) result = a.substr(i, endA - i).compare(b.substr(j, endB - j));
  i = endA;
  j = endB;
  return Sign(result);
}

}  // namespace

int CompareNatural(std::wstring_view a, std::wstring_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      if (const int result = CompareDigitRuns(a, i, b, j); result != 0) return result;
      continue;
    }
    const char32_t ca = Fold(a[i]), cb = Fold(b[j]);
    if (ca != cb) return ca < cb ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  return Sign(a.compare(b));
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](wchar_t x, wchar_t y) { return Fold(x) == Fold(y); });
}

}  // namespace platform
