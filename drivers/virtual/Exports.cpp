// The virtual DAC library's exports: the driver factory, and a small control
// for tests that run the DAC with a manual clock.
#include <cstring>
#include <new>

#include "drivers/virtual/VirtualDac.h"

QP_ASIO_EXPORT IAsioDriver* AsioCreateDriver(const AsioClassId* classId, const char* settings) {
  // A class id that did not parse (all zero) names no class of ours.
  static const AsioClassId kNone{};
  if (classId == nullptr || std::memcmp(classId, &kNone, sizeof kNone) == 0) return nullptr;
  return new (std::nothrow) CVirtualDac(VirtualDacSettings::Parse(settings));
}

// Plays up to `count` buffer halves on the newest live virtual DAC; returns
// how many were played.
QP_ASIO_EXPORT int32_t QP_VirtualDac_Step(int32_t count) {
  return CVirtualDac::StepNewest(count);
}
