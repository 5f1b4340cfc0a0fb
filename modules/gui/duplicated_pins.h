// Bool pins that the host duplicates (autoDuplicate): the modules address
// them by index, without pin objects.
#pragma once

#include <algorithm>
#include <cstdint>

#include "frame/interfaces.h"
#include "frame/raw_value.h"

namespace zv::gui {

// More bool pins than any panel has; a host reporting more is not believed.
constexpr int32_t kMaxDuplicatedPins = 4096;

// The bool pins after pin 0, as many as the host reports (none when it
// reports no pins at all).
inline int32_t duplicatedBoolCount(IMpGuiHost* host) {
  int32_t count = 0;
  if (host->queryPinCount(&count) != MP_OK) return 0;
  return std::clamp(count, 1, kMaxDuplicatedPins) - 1;
}

// As the frame reads a bool: a 4-byte value is true when non-zero, any
// other size by its first byte; no bytes is false.
inline bool rawBool(int32_t size, const void* data) {
  bool value = false;
  RawValue<bool>::set(value, size, data);
  return value;
}

inline void sendBool(IMpGuiHost* host, int32_t pin, bool value) { host->sendGuiPinValue(pin, 1, &value, 0); }

}  // namespace zv::gui
