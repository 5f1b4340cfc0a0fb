#include "modules/gui/spring2_gui.h"

Spring2Gui::Spring2Gui(IMpUnknown* host) : MpGuiBase(host) {
  value_.initialize(this, VALUE);
  held_.initialize(this, HELD, &Spring2Gui::onHeld);
  restValue_.initialize(this, REST_VALUE);
}

void Spring2Gui::onHeld() {
  if (!held_.getValue() && wasHeld_) value_ = restValue_.getValue();
  wasHeld_ = held_.getValue();
}
