#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "sources/TrackInfo.h"

// The kinds of music the player reads itself; every other file extension
// goes to the plug-ins (type code kSourceTypePlugin). The factory makes
// their sources from this table, the facade lists their extensions, and
// each source names its tracks' format from it.
struct BuiltInSourceKind {
  std::int32_t type;             // the type code its items store; 0 for a cue sheet,
                                 // whose tracks take the type of their audio file
  std::wstring_view extension;   // lower case, no dot; none for the audio CD
  std::wstring_view formatName;  // TrackInfo::formatName of its tracks
};

inline constexpr BuiltInSourceKind kCdSourceKind{kSourceTypeCdda, L"", L"CD-DA"};
inline constexpr BuiltInSourceKind kWaveSourceKind{kSourceTypeWave, L"wav", L"WAVE"};
inline constexpr BuiltInSourceKind kMp3SourceKind{kSourceTypeMp3, L"mp3", L"MP3"};
inline constexpr BuiltInSourceKind kCueSourceKind{0, L"cue", L""};

inline constexpr std::array kBuiltInSourceKinds = {kCdSourceKind, kWaveSourceKind, kMp3SourceKind,
                                                   kCueSourceKind};
