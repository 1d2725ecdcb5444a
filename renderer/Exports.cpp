// The renderer library's 22 exports, in the binding's order; each serves the
// one renderer of the process.
#include <type_traits>

#include "output/RendererApi.h"
#include "renderer/PulseRenderer.h"

namespace {
CPulseRenderer& R() {
  return CPulseRenderer::Instance();
}
}  // namespace

QP_ASIO_EXPORT AsioError Init(AsioDriverInfo* info) {
  return R().Init(info);
}
QP_ASIO_EXPORT AsioError Exit() {
  return R().Exit();
}
QP_ASIO_EXPORT AsioError Start() {
  return R().Start();
}
QP_ASIO_EXPORT AsioError Stop() {
  return R().Stop();
}
QP_ASIO_EXPORT AsioError GetChannels(int32_t* inputs, int32_t* outputs) {
  return R().GetChannels(inputs, outputs);
}
QP_ASIO_EXPORT AsioError GetLatencies(int32_t* input, int32_t* output) {
  return R().GetLatencies(input, output);
}
QP_ASIO_EXPORT AsioError GetBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                                       int32_t* granularity) {
  return R().GetBufferSize(minimum, maximum, preferred, granularity);
}
QP_ASIO_EXPORT AsioError CanSampleRate(AsioSampleRate rate) {
  return R().CanSampleRate(rate);
}
QP_ASIO_EXPORT AsioError GetSampleRate(AsioSampleRate* rate) {
  return R().GetSampleRate(rate);
}
QP_ASIO_EXPORT AsioError SetSampleRate(AsioSampleRate rate) {
  return R().SetSampleRate(rate);
}
QP_ASIO_EXPORT AsioError GetClockSources(AsioClockSource* clocks, int32_t* count) {
  return R().GetClockSources(clocks, count);
}
QP_ASIO_EXPORT AsioError SetClockSource(int32_t reference) {
  return R().SetClockSource(reference);
}
QP_ASIO_EXPORT AsioError GetSamplePosition(int64_t* position, int64_t* timestamp) {
  return R().GetSamplePosition(position, timestamp);
}
QP_ASIO_EXPORT AsioError GetChannelInfo(AsioChannelInfo* info) {
  return R().GetChannelInfo(info);
}
QP_ASIO_EXPORT AsioError CreateBuffers(AsioBufferInfo* infos, int32_t count, int32_t bufferSize,
                                       AsioCallbacks* callbacks) {
  return R().CreateBuffers(infos, count, bufferSize, callbacks);
}
QP_ASIO_EXPORT AsioError DisposeBuffers() {
  return R().DisposeBuffers();
}
QP_ASIO_EXPORT AsioError ControlPanel() {
  return R().ControlPanel();
}
QP_ASIO_EXPORT AsioError Future(int32_t selector, void* argument) {
  return R().Future(selector, argument);
}
QP_ASIO_EXPORT AsioError OutputReady() {
  return R().OutputReady();
}
QP_ASIO_EXPORT int32_t EnumerateWASAPIDevices(WasapiDeviceRecord* records, int32_t capacity,
                                              int32_t* count) {
  return R().EnumerateDevices(records, capacity, count);
}
QP_ASIO_EXPORT int32_t SelectWASAPIDevice(const char16_t* name, int32_t flags) {
  return R().SelectDevice(name, flags);
}
QP_ASIO_EXPORT int32_t GetSelectedFlags() {
  return R().SelectedFlags();
}

// The binding casts the resolved addresses to these types.
static_assert(std::is_same_v<decltype(&Init), RendererInitFn>);
static_assert(std::is_same_v<decltype(&Exit), RendererVoidFn>);
static_assert(std::is_same_v<decltype(&GetChannels), RendererPairFn>);
static_assert(std::is_same_v<decltype(&GetBufferSize), RendererGetBufferSizeFn>);
static_assert(std::is_same_v<decltype(&CanSampleRate), RendererRateFn>);
static_assert(std::is_same_v<decltype(&GetSampleRate), RendererGetSampleRateFn>);
static_assert(std::is_same_v<decltype(&GetClockSources), RendererGetClockSourcesFn>);
static_assert(std::is_same_v<decltype(&SetClockSource), RendererSetClockSourceFn>);
static_assert(std::is_same_v<decltype(&GetSamplePosition), RendererGetSamplePositionFn>);
static_assert(std::is_same_v<decltype(&GetChannelInfo), RendererGetChannelInfoFn>);
static_assert(std::is_same_v<decltype(&CreateBuffers), RendererCreateBuffersFn>);
static_assert(std::is_same_v<decltype(&Future), RendererFutureFn>);
static_assert(std::is_same_v<decltype(&EnumerateWASAPIDevices), RendererEnumerateFn>);
static_assert(std::is_same_v<decltype(&SelectWASAPIDevice), RendererSelectFn>);
static_assert(std::is_same_v<decltype(&GetSelectedFlags), RendererGetSelectedFlagsFn>);
