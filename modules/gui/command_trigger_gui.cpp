#include "modules/gui/command_trigger_gui.h"

#include "modules/gui/duplicated_pins.h"

using zv::gui::rawBool;

CommandTriggerGui::CommandTriggerGui(IMpUnknown* host) : MpGuiBase(host) { command_.initialize(this, COMMAND); }

int32_t MP_STDCALL CommandTriggerGui::initializeGui() {
  boolCount_ = zv::gui::duplicatedBoolCount(guiHost());
  held_.assign(static_cast<size_t>(boolCount_) + 1, false);
  for (int32_t pin = FIRST_BOOL; pin <= boolCount_; ++pin) zv::gui::sendBool(guiHost(), pin, false);
  return MP_OK;
}

int32_t MP_STDCALL CommandTriggerGui::pinValueFromHost(int32_t pin, int32_t voice, int32_t size, const void* data) {
  if (!isBoolPin(pin)) return MpGuiBase::pinValueFromHost(pin, voice, size, data);
  const bool down = rawBool(size, data);
  if (!down && held_[static_cast<size_t>(pin)]) {
    command_ = pin;
    command_ = 0;
  }
  held_[static_cast<size_t>(pin)] = down;
  return MP_OK;
}

int32_t MP_STDCALL CommandTriggerGui::pinNotifyFromHost(int32_t pin, int32_t voice) {
  if (isBoolPin(pin)) return MP_OK;
  return MpGuiBase::pinNotifyFromHost(pin, voice);
}
