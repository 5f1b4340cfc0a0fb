#include "modules/gui/float_scaler2_gui.h"

FloatScaler2Gui::FloatScaler2Gui(IMpUnknown* host) : MpGuiBase(host) {
  valueOut_.initialize(this, VALUE_OUT, &FloatScaler2Gui::onValueOut);
  multiplyBy_.initialize(this, MULTIPLY_BY, &FloatScaler2Gui::onForward);
  add_.initialize(this, ADD, &FloatScaler2Gui::onForward);
  valueIn_.initialize(this, VALUE_IN, &FloatScaler2Gui::onForward);
}

void FloatScaler2Gui::onValueOut() { valueIn_ = (valueOut_.getValue() - add_.getValue()) / multiplyBy_.getValue(); }

void FloatScaler2Gui::onForward() { valueOut_ = valueIn_.getValue() * multiplyBy_.getValue() + add_.getValue(); }
