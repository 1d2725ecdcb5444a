#include "platform/StringTable.h"

#include <unordered_map>

namespace platform {
namespace {

const std::unordered_map<unsigned, const wchar_t*>& Table() {
  static const std::unordered_map<unsigned, const wchar_t*> table = {
      {IDS_COLUMN_NUMBER, L"No."},
      {IDS_COLUMN_ARTIST, L"Artist"},
      {IDS_COLUMN_TITLE, L"Title"},
      {IDS_COLUMN_DURATION, L"Duration"},
      {IDS_COLUMN_PATH, L"Path"},
      {IDS_DIALOG_OPEN, L"Open"},
      {IDS_DIALOG_ADD_FILE, L"Add file"},
      {IDS_DIALOG_LOAD_PLAYLIST, L"Load playlist"},
      {IDS_DIALOG_SAVE_PLAYLIST, L"Save playlist"},
      {IDS_FILTER_ALL_MUSIC, L"All Music File"},
      {IDS_FILETYPE_WAVE, L"WAVE File"},
      {IDS_FILETYPE_MP3, L"MP3 File"},
      {IDS_FILETYPE_CUE, L"Cue Sheet"},
      {IDS_CUE_TRACK_TITLE, L"Track %02d"},
      {IDS_ERR_PARAMETER, L"Parameter error occurred."},
      {IDS_ERR_SEQUENCE, L"Illegal control sequence error occurred."},
      {IDS_ERR_OPEN_FILE, L"Can't open file (\"%s\")"},
      {IDS_ERR_DECODE, L"Decode Failed."},
      {IDS_ERR_MEMORY, L"Not enough memory"},
      {IDS_ERR_READ, L"Decode Failed."},
      {IDS_ERR_TOO_LARGE, L"Decode Failed."},
      {IDS_ERR_UNKNOWN, L"Unknown error (error code = %08x)"},
      {IDS_ERR_NO_DEVICE, L"No output device has been selected."},
      {IDS_ERR_NON_PLAYABLE, L"Non playable file."},
      {IDS_NOT_ENOUGH_MEMORY, L"Not enough memory"},
      {IDS_ERR_AUDIO_DEVICE, L"audio device error (code = %d)"},
      {IDS_ERR_PLAYBACK_INTERRUPTED,
       L"Playback was interrupted %d times: the computer did not deliver audio in time."},
      {IDS_TITLE_ABOUT, L"About Corvane Quorelle Player"},
      {IDS_TITLE_PREFERENCES, L"Preferences"},
      {IDS_TITLE_OPEN_CD, L"Open audio CD"},
      {IDS_TITLE_PROPERTIES, L"Properties"},
      {IDS_COLUMN_PLUGIN_NAME, L"Plugin name"},
      {IDS_COLUMN_PLUGIN_EXTENSION, L"Extension"},
      {IDS_COLUMN_PLUGIN_VERSION, L"Version"},
      {IDS_BUTTON_OK, L"OK"},
      {IDS_BUTTON_CANCEL, L"Cancel"},
      {IDS_TITLE_ERROR, L"Corvane Quorelle Player Error"},
      {IDS_BUTTON_CLOSE, L"Close"},
      {IDS_APP_NAME, L"Corvane Quorelle Player"},
      {IDC_CONFIG_DEVICE, L"Device"},
      {IDC_CONFIG_DECODE_GROUP, L"Decode Mode"},
      {IDC_CONFIG_DOP, L"DSD over PCM"},
      {IDC_CONFIG_NATIVE, L"DSD Native"},
      {IDC_CONFIG_RAM_GROUP, L"Audio Data Handling"},
      {IDC_CONFIG_RAM_NORMAL, L"Normal"},
      {IDC_CONFIG_RAM_EXPAND, L"Expand to RAM (Needs More Memory)"},
      {IDS_NO_DEVICE_SELECTED, L"No output device has been selected."},
      {IDS_ASK_SAVE_PLAYLIST, L"Playlist has been changed. Do you want to save?"},
      {IDS_LOADING, L"Loading"},
      {IDS_CONTEXT_PLAY, L"Play"},
      {IDS_CONTEXT_REMOVE, L"Remove"},
      {IDS_CONTEXT_PROPERTIES, L"Properties"},
      {IDS_MENU_FILE, L"&File"},
      {IDS_MENU_OPEN, L"&Open..."},
      {IDS_MENU_OPEN_CD, L"Open audio &CD..."},
      {IDS_MENU_ADD_FILE, L"&Add file..."},
      {IDS_MENU_REMOVE_FILES, L"&Remove files"},
      {IDS_MENU_NEW_PLAYLIST, L"&New playlist"},
      {IDS_MENU_LOAD_PLAYLIST, L"&Load playlist..."},
      {IDS_MENU_SAVE_PLAYLIST, L"&Save playlist..."},
      {IDS_MENU_EXIT, L"&Exit"},
      {IDS_MENU_PLAYBACK, L"&Playback"},
      {IDS_MENU_STOP, L"Stop"},
      {IDS_MENU_PAUSE, L"Pause"},
      {IDS_MENU_PLAY, L"Play"},
      {IDS_MENU_PREVIOUS, L"Previous"},
      {IDS_MENU_NEXT, L"Next"},
      {IDS_MENU_SHUFFLE, L"Shuffle (playlist)"},
      {IDS_MENU_ORDER, L"Order"},
      {IDS_MENU_REPEAT_DEFAULT, L"Default"},
      {IDS_MENU_REPEAT_PLAYLIST, L"Repeat (playlist)"},
      {IDS_MENU_REPEAT_TITLE, L"Repeat (title)"},
      {IDS_MENU_CONFIGURE, L"&Configure"},
      {IDS_MENU_DEVICE, L"&Device..."},
      {IDS_MENU_HELP, L"&Help"},
      {IDS_MENU_ABOUT, L"&About Corvane Quorelle Player..."},
      {IDC_ABOUT_VERSION, L"Version"},
      {IDC_OPEN_CD_LABEL, L"Found CD drives"},
      {IDC_PROPERTY_FILENAME, L"Filename"},
      {IDC_PROPERTY_TITLE, L"Title"},
      {IDC_PROPERTY_ARTIST, L"Artist"},
  };
  return table;
}

}  // namespace

std::wstring LoadResString(unsigned id) {
  const auto it = Table().find(id);
  return it == Table().end() ? std::wstring() : std::wstring(it->second);
}

}  // namespace platform
