#pragma once

#include <string>
#include <string_view>

namespace platform {

// Replaces the file at `path` with `bytes` so that it holds either its old
// content or the whole new one, whatever happens midway (a crash, a full
// disk): the bytes go to a temporary file beside the target, are flushed to
// the disk and the temporary file is renamed over the target. A symbolic link
// at `path` stays and its target is replaced; an existing file's permissions
// are kept. False on any failure, with the target untouched and no temporary
// file left behind.
bool WriteFileAtomically(const std::wstring& path, std::string_view bytes);

}  // namespace platform
