// "SE Unit Converter": a control value between physical units and the
// host's control-voltage scales (1 V per octave with 5 V = 440 Hz, decibels,
// milliseconds), chosen by the Conversion code. Codes 0-4 convert into
// volts, 100-104 back; other codes leave Result as it is.
#pragma once

#include <cstdint>

#include "frame/pins.h"

namespace zv::conversion {

// Result for a code, or false when the code is not one of the ten. Single
// precision like the control values, doubles where the range needs them;
// results beyond the float range are ±infinity. A NaN value fails every
// comparison: it takes a formula's "else" branch or is carried through.
bool convertUnit(int32_t code, float x, float& result);

}  // namespace zv::conversion

class UnitConverter : public MpBase {
 public:
  enum Pin { VALUE, RESULT, CONVERSION };

  explicit UnitConverter(IMpUnknown* host);
  void pinsUpdated() override;

 private:
  FloatInPin value_;
  FloatOutPin result_;
  ListInPin conversion_;
};
