#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/WorkProgress.h"
#include "sources/TrackInfo.h"

class CPlaylistCtrl;
class CPluginCtrl;

// Playlist files (".ppl"): UTF-8 with a byte-order mark, one CR LF line per
// item with seven comma-separated fields: "path",type,"title","artist",
// length,start,end. Texts are quoted with inner quotes doubled; numbers are
// signed decimals; lengths and positions are CD frames.

// Writes every item of the playlist to `path` and clears its modified mark.
// The file is replaced atomically: a failure at any point (a full disk, a
// missing folder) leaves the old file as it was, returns false and keeps
// the modified mark.
bool WritePlaylistFile(CPlaylistCtrl& playlist, const std::wstring& path);

// Reads the items of a playlist file into `items` (emptied first): every line
// with seven well-formed fields whose audio file still opens, in file order,
// with the format name and format taken from the audio file. Lines of any
// length up to 64 Ki characters, with or without CR, with or without a
// byte-order mark. False when `items` is null or the file cannot be read or
// holds more than 16 MiB; true otherwise, also when no line gave an item.
// `progress` hears after every line how many of the file's characters are
// read.
bool ReadPlaylistFile(const std::wstring& path, std::vector<TrackInfo>* items,
                      const std::shared_ptr<CPluginCtrl>& plugins,
                      const WorkProgress& progress = {});
