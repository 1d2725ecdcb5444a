#pragma once

// The entry points of the renderer library (wasapirenderer.so), which plays
// desktop endpoints behind the same host operations as an ASIO driver. Texts
// are UTF-16.

#include <cstdint>

#include "output/AsioApi.h"

// One endpoint as EnumerateWASAPIDevices reports it: the friendly name in
// units 0-255 and the hardware id in units 256-511, each zero-terminated.
struct WasapiDeviceRecord {
  char16_t name[256];
  char16_t hardwareId[256];
};
inline constexpr int32_t kWasapiMaxDevices = 64;
// Selection flags: every selection carries 1; the maker's DACs add 0x10000,
// which keeps the endpoint open when playback stops.
inline constexpr int32_t kWasapiSelectFlag = 0x1;
inline constexpr int32_t kWasapiKeepOpenFlag = 0x10000;

extern "C" {
using RendererInitFn = AsioError (*)(AsioDriverInfo* info);
using RendererVoidFn = AsioError (*)();
using RendererPairFn = AsioError (*)(int32_t* first, int32_t* second);
using RendererGetBufferSizeFn = AsioError (*)(int32_t* minimum, int32_t* maximum,
                                              int32_t* preferred, int32_t* granularity);
using RendererRateFn = AsioError (*)(AsioSampleRate rate);
using RendererGetSampleRateFn = AsioError (*)(AsioSampleRate* rate);
using RendererGetClockSourcesFn = AsioError (*)(AsioClockSource* clocks, int32_t* count);
using RendererSetClockSourceFn = AsioError (*)(int32_t reference);
using RendererGetSamplePositionFn = AsioError (*)(int64_t* position, int64_t* timestamp);
using RendererGetChannelInfoFn = AsioError (*)(AsioChannelInfo* info);
using RendererCreateBuffersFn = AsioError (*)(AsioBufferInfo* infos, int32_t count,
                                              int32_t bufferSize, AsioCallbacks* callbacks);
using RendererFutureFn = AsioError (*)(int32_t selector, void* argument);
using RendererEnumerateFn = int32_t (*)(WasapiDeviceRecord* records, int32_t capacity,
                                        int32_t* count);
using RendererSelectFn = int32_t (*)(const char16_t* name, int32_t flags);
using RendererGetSelectedFlagsFn = int32_t (*)();
}

// The 22 entry points in their fixed order; a missing export stays null.
struct RendererEntryPoints {
  RendererInitFn Init = nullptr;
  RendererVoidFn Exit = nullptr;
  RendererVoidFn Start = nullptr;
  RendererVoidFn Stop = nullptr;
  RendererPairFn GetChannels = nullptr;
  RendererPairFn GetLatencies = nullptr;
  RendererGetBufferSizeFn GetBufferSize = nullptr;
  RendererRateFn CanSampleRate = nullptr;
  RendererGetSampleRateFn GetSampleRate = nullptr;
  RendererRateFn SetSampleRate = nullptr;
  RendererGetClockSourcesFn GetClockSources = nullptr;
  RendererSetClockSourceFn SetClockSource = nullptr;
  RendererGetSamplePositionFn GetSamplePosition = nullptr;
  RendererGetChannelInfoFn GetChannelInfo = nullptr;
  RendererCreateBuffersFn CreateBuffers = nullptr;
  RendererVoidFn DisposeBuffers = nullptr;
  RendererVoidFn ControlPanel = nullptr;
  RendererFutureFn Future = nullptr;
  RendererVoidFn OutputReady = nullptr;
  RendererEnumerateFn EnumerateWASAPIDevices = nullptr;
  RendererSelectFn SelectWASAPIDevice = nullptr;
  RendererGetSelectedFlagsFn GetSelectedFlags = nullptr;
};

inline constexpr const char* kRendererLibraryName = "wasapirenderer.so";
