#pragma once

#include <string>

namespace platform {

// The program's user-visible texts, keyed by their numeric resource ids.
// An id with no text gives an empty string.
std::wstring LoadResString(unsigned id);

// Resource ids of the texts the music sources use.
enum StringId : unsigned {
  IDS_FILETYPE_WAVE = 25011,
  IDS_FILETYPE_MP3 = 25012,
  IDS_FILETYPE_CUE = 25013,
  IDS_ERR_PARAMETER = 25016,
  IDS_ERR_SEQUENCE = 25017,
  IDS_ERR_OPEN_FILE = 25018,
  IDS_ERR_DECODE = 25019,
  IDS_ERR_MEMORY = 25020,
  IDS_ERR_READ = 25021,
  IDS_ERR_TOO_LARGE = 25022,
  IDS_ERR_UNKNOWN = 25023,
  IDS_ERR_NO_DEVICE = 25024,
  IDS_ERR_NON_PLAYABLE = 25025,
  IDS_NOT_ENOUGH_MEMORY = 25026,
  IDS_ERR_AUDIO_DEVICE = 25027,
};

}  // namespace platform
