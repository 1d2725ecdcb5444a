#pragma once

#include <cstdint>
#include <string>

#include "output/AsioApi.h"

// The loader: one current driver for the process, chosen by name from the
// installed drivers (names compared as the 32-byte field shows them). A
// failed load brings the previous driver back where it can.
bool LoadDriverByName(const std::wstring& name);
void UnloadCurrentDriver();
// Releases the current driver and the loader's list (the output engine does
// this when it goes).
void ReleaseAsioDrivers();
// True once a driver was ever loaded, until ReleaseAsioDrivers.
bool AsioDriverListExists();

// The host operations the output engine uses. With the renderer binding's
// WASAPI flag set they go to the renderer library's entry point of the same
// name, otherwise to the current driver. Without any binding they answer
// kAsioInvalidMode (-997); without a driver or entry point kAsioNotPresent.
AsioError HostInit(AsioDriverInfo* info);
AsioError HostExit();
AsioError HostStart();
AsioError HostStop();
AsioError HostGetChannels(int32_t* inputs, int32_t* outputs);
AsioError HostGetLatencies(int32_t* input, int32_t* output);
AsioError HostGetBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                            int32_t* granularity);
AsioError HostCanSampleRate(AsioSampleRate rate);
AsioError HostSetSampleRate(AsioSampleRate rate);
AsioError HostGetSamplePosition(int64_t* position, int64_t* timestamp);
AsioError HostGetChannelInfo(AsioChannelInfo* info);
AsioError HostCreateBuffers(AsioBufferInfo* infos, int32_t count, int32_t bufferSize,
                            AsioCallbacks* callbacks);
AsioError HostDisposeBuffers();
AsioError HostFuture(int32_t selector, void* argument);
AsioError HostOutputReady();
// The current driver's own text about its last failure (124 bytes, always
// terminated): kAsioOk with the text, kAsioNotPresent and an empty text
// without a driver or on the WASAPI route (the renderer has no such entry
// point). A driver that refused init is no longer current: its text is the
// errorMessage HostInit gave.
AsioError HostGetErrorMessage(char* message);
// The binding's WASAPI flag; 0 without a binding.
int32_t HostIsWasapi();
// The renderer's selection flags on the WASAPI route, else 0.
int32_t HostGetSelectedFlags();
