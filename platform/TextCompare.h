#pragma once

#include <string_view>

namespace platform {

// Natural order for names shown to the user: runs of decimal digits compare
// by their value ("track2" before "track10"), other characters by their
// case-folded code points. Names equal in that order fall back to plain code
// point order, so distinct names never compare equal. Negative, zero or
// positive like a three-way comparison.
int CompareNatural(std::wstring_view a, std::wstring_view b);

// Equal when compared with case folded, as profile section and key names are.
bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b);

}  // namespace platform
