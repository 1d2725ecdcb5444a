#pragma once

#include <string>
#include <vector>

namespace platform {

// The folder that holds the running program, without a trailing slash; empty
// when it cannot be found.
std::wstring ExecutableDirectory();

// The extension of a path's file name from its last dot on (".wav"); empty
// when the file name has none. Both slashes separate folders.
std::wstring FileExtension(const std::wstring& path);

// The names (not paths) of the regular files directly inside a folder whose
// names end in `suffix` compared without regard to case, sorted by name;
// empty when the folder cannot be read.
std::vector<std::wstring> ListFiles(const std::wstring& folder, const std::wstring& suffix);

}  // namespace platform
