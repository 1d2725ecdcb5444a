// The ALSA driver library's one export: the driver factory.
#include <cstring>
#include <new>

#include "drivers/alsa/AlsaDriver.h"

QP_ASIO_EXPORT IAsioDriver* AsioCreateDriver(const AsioClassId* classId, const char* settings) {
  // A class id that did not parse (all zero) names no class of ours.
  static const AsioClassId kNone{};
  if (classId == nullptr || std::memcmp(classId, &kNone, sizeof kNone) == 0) return nullptr;
  return new (std::nothrow) CAlsaDriver(AlsaDriverSettings::Parse(settings));
}
