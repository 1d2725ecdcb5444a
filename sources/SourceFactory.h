#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "sources/MusicData.h"

class CPluginCtrl;

// The source type code a file's extension calls for: ".wav" 2, ".mp3" 3,
// anything else (no extension included) 4, the plug-in source.
std::int32_t GetMusicDataType(const std::wstring& path);

// A new, unopened source for a path chosen by its extension (".cue" first,
// then GetMusicDataType); null where no source class serves it. Plug-in
// sources are bound to `plugins` (which may be null: no plug-in then claims
// the file).
std::unique_ptr<CMusicData> CreateSourceForPath(const std::wstring& path,
                                                const std::shared_ptr<CPluginCtrl>& plugins);

// A new, unopened source for a stored type code, as playback re-creates the
// source of a playlist item; null for an unknown code.
std::unique_ptr<CMusicData> CreateSourceForType(std::int32_t type, const std::wstring& path,
                                                const std::shared_ptr<CPluginCtrl>& plugins);
