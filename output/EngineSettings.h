#pragma once

#include <cstdint>
#include <string>

// The process-wide engine settings: the configuration applies them, the
// playback thread and the output engine read them.
struct EngineSettings {
  std::wstring deviceName;
  std::int32_t mp3Gapless = 0;
  double gaplessThreshold = -45.0;
  std::int32_t decodeMode = 0;  // 0 DSD over PCM, 1 DSD native
  std::int32_t ramMode = 0;
  std::int32_t leadInPending = 0;
};

inline constexpr std::int32_t kDecodeDop = 0;
inline constexpr std::int32_t kDecodeNative = 1;

// A copy of the current settings; safe from any thread.
EngineSettings GetEngineSettings();
void SetEngineSettings(const EngineSettings& settings);

// The lead-in pending flag on its own, so that setting and taking it never
// overwrite a concurrent change of the other settings. Take answers whether
// it was set and clears it in one step.
void SetLeadInPending();
bool TakeLeadInPending();
