#pragma once

#include <string>

namespace platform {

// The program's user-visible texts, keyed by their numeric resource ids.
// An id with no text gives an empty string.
std::wstring LoadResString(unsigned id);

// Resource ids of the texts of the player core and the music sources.
enum StringId : unsigned {
  IDS_COLUMN_NUMBER = 25001,
  IDS_COLUMN_ARTIST = 25002,
  IDS_COLUMN_TITLE = 25003,
  IDS_COLUMN_DURATION = 25004,
  IDS_DIALOG_OPEN = 25006,
  IDS_DIALOG_ADD_FILE = 25007,
  IDS_DIALOG_LOAD_PLAYLIST = 25008,
  IDS_DIALOG_SAVE_PLAYLIST = 25009,
  IDS_FILTER_ALL_MUSIC = 25010,
  IDS_FILETYPE_WAVE = 25011,
  IDS_FILETYPE_MP3 = 25012,
  IDS_FILETYPE_CUE = 25013,
  IDS_CUE_TRACK_TITLE = 25015,
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
  IDS_COLUMN_PATH = 25028,
};

// Resource ids of the window's texts: dialog titles, buttons, and control
// texts that share their control's id.
enum WindowStringId : unsigned {
  IDS_TITLE_PREFERENCES = 101,
  IDS_TITLE_ERROR = 102,
  IDS_BUTTON_OK = 180,
  IDS_BUTTON_CANCEL = 181,
  IDS_BUTTON_CLOSE = 182,
  IDS_APP_NAME = 57344,
  IDC_CONFIG_DEVICE = 1010,
  IDC_CONFIG_MP3_GAPLESS_GROUP = 1011,
  IDC_CONFIG_THRESHOLD_LABEL = 1012,
  IDC_CONFIG_THRESHOLD_UNIT = 1013,
  IDC_CONFIG_DECODE_GROUP = 1014,
  IDC_CONFIG_RAM_GROUP = 1015,
  IDC_CONFIG_MP3_GAPLESS = 1021,
  IDC_CONFIG_DOP = 1024,
  IDC_CONFIG_NATIVE = 1025,
  IDC_CONFIG_RAM_NORMAL = 1026,
  IDC_CONFIG_RAM_EXPAND = 1027,
};

}  // namespace platform
