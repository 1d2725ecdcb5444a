#pragma once

#include <array>

// The panel's images by resource id (ui/resources/png/<id>.png).

namespace ui::image {

inline constexpr int kBackground = 300;
inline constexpr int kSeekThumbPressed = 302;
inline constexpr int kSeekThumbNormal = 303;

// Transport buttons: normal, pressed and (kept, never drawn) third image.
inline constexpr int kNextPressed = 305;
inline constexpr int kNextNormal = 306;
inline constexpr int kPauseThird = 307;
inline constexpr int kPausePressed = 308;
inline constexpr int kPauseNormal = 309;
inline constexpr int kPlayThird = 310;
inline constexpr int kPlayPressed = 311;
inline constexpr int kPlayNormal = 312;
inline constexpr int kPreviousPressed = 313;
inline constexpr int kPreviousNormal = 314;
inline constexpr int kStopPressed = 315;
inline constexpr int kStopNormal = 316;

// The display area: its indicator, and its strip of digit cells.
inline constexpr std::array kDisplayArea = {317, 318};
// The format labels, each lit and then unlit.
inline constexpr std::array kFormatLabels = {321, 322, 353, 324, 327, 328, 325, 326, 329, 330};
// The time digits 0 to 9, then the colon.
inline constexpr std::array kTimeGlyphs = {340, 341, 342, 343, 344, 345, 346, 347, 348, 349, 339};
// The rate digits 0 to 9, then the point, "kHz" and "MHz".
inline constexpr std::array kRateGlyphs = {372, 373, 374, 375, 376, 377, 378,
                                           379, 380, 381, 356, 383, 382};

// Playlist rows.
inline constexpr int kPlayingRow = 354;
inline constexpr int kEmptyRow = 355;
inline constexpr int kDragImage = 371;

}  // namespace ui::image
