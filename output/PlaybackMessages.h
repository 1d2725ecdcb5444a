#pragma once

#include <cstdint>

// The thread messages of the playback thread. The output engine posts two of
// them (TM_STOP and TM_TRACK_END); the rest come from the user interface.
enum PlaybackMessage : std::uint32_t {
  TM_PLAY_ITEM = 32871,
  TM_SEEK = 32872,
  TM_REFRESH_TIME = 32873,
  TM_STOP = 32874,
  TM_PAUSE = 32875,
  TM_PREVIOUS = 32876,
  TM_NEXT = 32877,
  TM_TRACK_END = 32886,  // wParam: 1 restart the output, 0 it already continued;
                         // lParam: 1 the slot ran out of data, 0 the output cannot start
  TM_OUTPUT_CHANGED = 32887,
  TM_SET_SHUFFLE = 32888,
  TM_SET_REPEAT = 32889,
  TM_NEXT_CHANGED = 32890,
};
