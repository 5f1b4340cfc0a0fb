#include "modules/gui/float_limiter_gui.h"

FloatLimiterGui::FloatLimiterGui(IMpUnknown* host) : MpGuiBase(host) {
  minimum_.initialize(this, MINIMUM, &FloatLimiterGui::onChange);
  maximum_.initialize(this, MAXIMUM, &FloatLimiterGui::onChange);
  value_.initialize(this, VALUE, &FloatLimiterGui::onChange);
  setTimerInterval(kTimerMilliseconds);
}

void FloatLimiterGui::onChange() {
  const float value = value_.getValue();
  if (maximum_.getValue() > minimum_.getValue() && (value > maximum_.getValue() || value < minimum_.getValue())) {
    startTimer();
  }
}

bool FloatLimiterGui::onTimer() {
  if (value_.getValue() > maximum_.getValue()) value_ = maximum_.getValue();
  if (minimum_.getValue() > value_.getValue()) value_ = minimum_.getValue();
  return false;
}
