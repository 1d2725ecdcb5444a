#include "platform/StringTable.h"

#include <unordered_map>

namespace platform {
namespace {

const std::unordered_map<unsigned, const wchar_t*>& Table() {
  static const std::unordered_map<unsigned, const wchar_t*> table = {
      {IDS_FILETYPE_WAVE, L"WAVE File"},
      {IDS_FILETYPE_MP3, L"MP3 File"},
      {IDS_FILETYPE_CUE, L"Cue Sheet"},
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
  };
  return table;
}

}  // namespace

std::wstring LoadResString(unsigned id) {
  const auto it = Table().find(id);
  return it == Table().end() ? std::wstring() : std::wstring(it->second);
}

}  // namespace platform
