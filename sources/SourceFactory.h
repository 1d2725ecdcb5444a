#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sources/MusicData.h"

class CPluginCtrl;

// The source type code a file's extension calls for: a built-in source's
// (BuiltInSources.h), else (a cue sheet, no extension included) 4, the
// plug-in source.
std::int32_t GetMusicDataType(const std::wstring& path);

// A new, unopened source for a path chosen by its extension: a built-in
// source's, else the plug-in source. Plug-in
// sources are bound to `plugins` (which may be null: no plug-in then claims
// the file).
std::unique_ptr<CMusicData> CreateSourceForPath(const std::wstring& path,
                                                const std::shared_ptr<CPluginCtrl>& plugins);

// A new, unopened source for a stored type code, as playback re-creates the
// source of a playlist item; null for an unknown code.
std::unique_ptr<CMusicData> CreateSourceForType(std::int32_t type, const std::wstring& path,
                                                const std::shared_ptr<CPluginCtrl>& plugins);
