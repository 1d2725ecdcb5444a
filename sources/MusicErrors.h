#pragma once

#include <cstdint>
#include <string>

// The user's message for a source result code; empty for success and for the
// end of a range.
std::wstring FormatMusicError(std::int32_t code, const std::wstring& path);

class CMusicData;

// FormatMusicError for a failed Open, followed on a line of its own by the
// reason the source gave, if any.
std::wstring FormatOpenError(std::int32_t code, const std::wstring& path, const CMusicData& source);

// "No output device has been selected."
std::wstring FormatNoDeviceError();

// "Non playable file."; the file, its kind ("PCM" or "DSD") and its rate are
// given for the record but not shown.
std::wstring FormatNonPlayableError(const std::wstring& path, const std::wstring& kind,
                                    std::uint32_t sampleRate);
