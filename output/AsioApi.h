#pragma once

// The ASIO-style driver interface of the output side, shared with the driver
// libraries (drivers/) and the renderer library (renderer/): the records the
// host and a driver exchange, the result codes, and the driver object's
// operations in their fixed order after three reference-counting ones.

#include <cstddef>
#include <cstdint>

using AsioBool = int32_t;
using AsioError = int32_t;
using AsioSampleRate = double;

inline constexpr AsioBool kAsioFalse = 0;
inline constexpr AsioBool kAsioTrue = 1;

// Result codes.
enum : AsioError {
  kAsioOk = 0,
  kAsioSuccess = 0x3F4847A0,  // success of a future call
  kAsioNotPresent = -1000,    // no driver, no entry point, or refused
  kAsioHwMalfunction = -999,
  kAsioInvalidParameter = -998,
  kAsioInvalidMode = -997,  // also: no renderer binding exists at all
  kAsioSpNotAdvancing = -996,
  kAsioNoClock = -995,  // the rate is not supported
  kAsioNoMemory = -994,
};

// Future selectors and the I/O format they take.
enum : int32_t {
  kAsioSetIoFormat = 0x23111961,
  kAsioGetIoFormat = 0x23111983,
  kAsioCanDoIoFormat = 0x23112004,
};
// Our own future selector, which no published ASIO driver knows (those answer
// kAsioInvalidParameter, and the host goes on as before): the host's next
// stop is a drain stop. The argument is null. A driver that knows it answers
// kAsioSuccess while running and then, at that stop, plays out what it was
// given and what it still holds queued, ending in its idle signal, within a
// bound of its own buffer time plus a margin, before it stops; a plain stop
// may cut at once. The request lasts until the next stop or start.
inline constexpr int32_t kQpFutureDrainOnStop = 0x51504431;  // "QPD1"
// The host's next stop is a pause (argument null): a driver that knows it
// answers kAsioSuccess while running, keeps what it was given and has not
// played (and the device's own backlog, where the device can pause), and
// the next start resumes from there with the half the host filled last:
// nothing skipped, nothing repeated. A plain stop or disposeBuffers forgets
// the pause; a start after it begins afresh from the host's prefill.
inline constexpr int32_t kQpFuturePauseOnStop = 0x51505031;  // "QPP1"
// What the PCM stream carries (argument: const int32_t*, 1 DSD over PCM, 0
// plain PCM), told while the buffers exist and before each start. Over DoP
// the driver's own fills (device channels without a host buffer, the idle
// half of a drain) are DoP idle words that carry on the stream's marker
// phase, not zeros, on which a DoP DAC would leave DSD mode.
inline constexpr int32_t kQpFutureDopStream = 0x51504f31;  // "QPO1"
// A notice for the user (argument: char[124]): kAsioSuccess and the text
// when the driver has one the user has not seen (for example that its route
// may not be bit-perfect), kAsioInvalidMode when it has none. Asked after
// the buffers are created.
inline constexpr int32_t kQpFutureNotice = 0x51504e31;  // "QPN1"
// A message of ours to the host (asioMessage; hosts that do not know it
// answer 0 to kAsioSelectorSupported): does the host have the audio of the
// next half queued? 1 yes, or it has no more to play (silence is then what
// it means); 0 not yet. A device without a clock of its own (the virtual
// DAC's free clock) waits for it, within a bound, instead of playing
// silence the host never meant.
inline constexpr int32_t kQpMessageHalfReady = 0x51504452;  // "QPDR"
enum AsioIoFormatType : int32_t { kAsioFormatPcm = 0, kAsioFormatDsd = 1 };
struct AsioIoFormat {
  int32_t formatType;
  char reserved[512 - sizeof(int32_t)];
};

// Message selectors of the host's message callback.
enum : int32_t {
  kAsioSelectorSupported = 1,
  kAsioEngineVersion = 2,
  kAsioResetRequest = 3,
  kAsioBufferSizeChange = 4,
  kAsioResyncRequest = 5,
  kAsioLatenciesChanged = 6,
  kAsioSupportsTimeInfo = 7,
  kAsioSupportsTimeCode = 8,
  kAsioSupportsInputMonitor = 10,
  // The device ran dry once (an underrun: the host's audio came too late).
  kAsioOverload = 15,
};

// Sample types (the numbers of the sample-packing table).
enum AsioSampleType : int32_t {
  kAsioInt16Msb = 0,
  kAsioInt24Msb = 1,
  kAsioInt32Msb = 2,
  kAsioFloat32Msb = 3,
  kAsioFloat64Msb = 4,
  kAsioInt32Msb16 = 8,
  kAsioInt32Msb18 = 9,
  kAsioInt32Msb20 = 10,
  kAsioInt32Msb24 = 11,
  kAsioInt16Lsb = 16,
  kAsioInt24Lsb = 17,
  kAsioInt32Lsb = 18,
  kAsioFloat32Lsb = 19,
  kAsioFloat64Lsb = 20,
  kAsioInt32Lsb16 = 24,
  kAsioInt32Lsb18 = 25,
  kAsioInt32Lsb20 = 26,
  kAsioInt32Lsb24 = 27,
  kAsioDsdInt8Lsb1 = 32,
  kAsioDsdInt8Msb1 = 33,
  kAsioDsdInt8Ner8 = 40,
};

// The text fields passed as bare pointers: a driver's name, and its error
// messages and notices.
inline constexpr std::size_t kAsioDriverNameBytes = 32;
inline constexpr std::size_t kAsioMessageBytes = 124;

struct AsioDriverInfo {
  int32_t asioVersion;
  int32_t driverVersion;
  char name[kAsioDriverNameBytes];
  char errorMessage[kAsioMessageBytes];
  void* sysRef;
};

struct AsioBufferInfo {
  AsioBool isInput;
  int32_t channelNum;
  void* buffers[2];
};

struct AsioChannelInfo {
  int32_t channel;
  AsioBool isInput;
  AsioBool isActive;
  int32_t channelGroup;
  int32_t type;  // AsioSampleType
  char name[32];
};

struct AsioClockSource {
  int32_t index;
  int32_t associatedChannel;
  int32_t associatedGroup;
  AsioBool isCurrentSource;
  char name[32];
};

enum : uint32_t {
  kAsioSystemTimeValid = 1,
  kAsioSamplePositionValid = 2,
  kAsioSampleRateValid = 4,
};

// Time information handed to the buffer switch: the position of the half
// about to be filled, in device samples, and the system time in nanoseconds.
struct AsioTimeInfo {
  double speed;
  int64_t systemTime;
  int64_t samplePosition;
  AsioSampleRate sampleRate;
  uint32_t flags;
  char reserved[12];
};
struct AsioTime {
  int32_t reserved[4];
  AsioTimeInfo timeInfo;
  char timeCode[32];
};

struct AsioCallbacks {
  void (*bufferSwitch)(int32_t halfIndex, AsioBool directProcess);
  void (*sampleRateDidChange)(AsioSampleRate rate);
  int32_t (*asioMessage)(int32_t selector, int32_t value, void* message, double* opt);
  AsioTime* (*bufferSwitchTimeInfo)(AsioTime* params, int32_t halfIndex, AsioBool directProcess);
};

// A driver's class id: 16 bytes in the standard GUID layout.
struct AsioClassId {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

// One driver object. The first three operations count references; the last
// Release destroys the object.
class IAsioDriver {
 public:
  virtual int32_t QueryInterface(const AsioClassId& id, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

  virtual AsioBool init(void* sysRef) = 0;
  virtual void getDriverName(char* name) = 0;  // kAsioDriverNameBytes
  virtual int32_t getDriverVersion() = 0;
  virtual void getErrorMessage(char* message) = 0;  // kAsioMessageBytes
  virtual AsioError start() = 0;
  virtual AsioError stop() = 0;
  virtual AsioError getChannels(int32_t* inputs, int32_t* outputs) = 0;
  virtual AsioError getLatencies(int32_t* input, int32_t* output) = 0;
  virtual AsioError getBufferSize(int32_t* minimum, int32_t* maximum, int32_t* preferred,
                                  int32_t* granularity) = 0;
  virtual AsioError canSampleRate(AsioSampleRate rate) = 0;
  virtual AsioError getSampleRate(AsioSampleRate* rate) = 0;
  virtual AsioError setSampleRate(AsioSampleRate rate) = 0;
  virtual AsioError getClockSources(AsioClockSource* clocks, int32_t* count) = 0;
  virtual AsioError setClockSource(int32_t reference) = 0;
  virtual AsioError getSamplePosition(int64_t* position, int64_t* timestamp) = 0;
  virtual AsioError getChannelInfo(AsioChannelInfo* info) = 0;
  virtual AsioError createBuffers(AsioBufferInfo* infos, int32_t count, int32_t bufferSize,
                                  AsioCallbacks* callbacks) = 0;
  virtual AsioError disposeBuffers() = 0;
  virtual AsioError controlPanel() = 0;
  virtual AsioError future(int32_t selector, void* argument) = 0;
  virtual AsioError outputReady() = 0;

 protected:
  ~IAsioDriver() = default;
};

// The one export of a driver library: a new driver object (one reference)
// for the class id, configured by its registry settings given as
// "key=value" lines; null when the class is not this library's.
extern "C" {
using AsioCreateDriverFn = IAsioDriver* (*)(const AsioClassId* classId, const char* settings);
}
inline constexpr const char* kAsioCreateDriverName = "AsioCreateDriver";

#if defined(__GNUC__)
#define QP_ASIO_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define QP_ASIO_EXPORT extern "C"
#endif

// Bits per sample of a sample type (a driver buffer half holds bits x buffer
// size / 8 bytes); 0 for a type outside the table.
constexpr int32_t AsioSampleTypeBits(int32_t type) {
  switch (type) {
    case kAsioInt16Msb:
    case kAsioInt16Lsb:
      return 16;
    case kAsioInt24Msb:
    case kAsioInt24Lsb:
      return 24;
    case kAsioFloat64Msb:
    case kAsioFloat64Lsb:
      return 64;
    case kAsioDsdInt8Lsb1:
    case kAsioDsdInt8Msb1:
      return 1;
    case kAsioDsdInt8Ner8:
      return 8;
    case kAsioInt32Msb:
    case kAsioFloat32Msb:
    case kAsioInt32Msb16:
    case kAsioInt32Msb18:
    case kAsioInt32Msb20:
    case kAsioInt32Msb24:
    case kAsioInt32Lsb:
    case kAsioFloat32Lsb:
    case kAsioInt32Lsb16:
    case kAsioInt32Lsb18:
    case kAsioInt32Lsb20:
    case kAsioInt32Lsb24:
      return 32;
    default:
      return 0;
  }
}

// Whether a sample type carries DSD bits rather than PCM samples.
constexpr bool AsioSampleTypeIsDsd(int32_t type) {
  return type == kAsioDsdInt8Lsb1 || type == kAsioDsdInt8Msb1 || type == kAsioDsdInt8Ner8;
}
