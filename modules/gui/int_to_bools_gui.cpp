#include "modules/gui/int_to_bools_gui.h"

#include "modules/gui/duplicated_pins.h"

using zv::gui::rawBool;

IntToBoolsGui::IntToBoolsGui(IMpUnknown* host) : MpGuiBase(host) {
  value_.initialize(this, VALUE, &IntToBoolsGui::onValue);
}

int32_t MP_STDCALL IntToBoolsGui::initializeGui() {
  boolCount_ = zv::gui::duplicatedBoolCount(guiHost());
  current_ = selectedPin();
  for (int32_t pin = FIRST_BOOL; pin <= boolCount_; ++pin) zv::gui::sendBool(guiHost(), pin, pin == current_);
  return MP_OK;
}

void IntToBoolsGui::onValue() {
  const int64_t selected = selectedPin();
  if (selected == current_) return;
  if (isBoolPin(current_)) zv::gui::sendBool(guiHost(), static_cast<int32_t>(current_), false);
  current_ = selected;
  if (value_.getValue() >= 0 && selected <= boolCount_)
    zv::gui::sendBool(guiHost(), static_cast<int32_t>(selected), true);
}

int32_t MP_STDCALL IntToBoolsGui::pinValueFromHost(int32_t pin, int32_t voice, int32_t size, const void* data) {
  if (!isBoolPin(pin)) return MpGuiBase::pinValueFromHost(pin, voice, size, data);
  // The bools are left as they are; Value's own handler does not run.
  if (rawBool(size, data) && pin != selectedPin()) value_ = pin - 1;
  return MP_OK;
}

int32_t MP_STDCALL IntToBoolsGui::pinNotifyFromHost(int32_t pin, int32_t voice) {
  if (isBoolPin(pin)) return MP_OK;
  return MpGuiBase::pinNotifyFromHost(pin, voice);
}
