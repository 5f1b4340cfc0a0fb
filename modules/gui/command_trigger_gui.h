// "SE Command Trigger": a row of bool pins (duplicated by the host) that
// each send their own number on Command when released, then 0 again.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/gui_base.h"

class CommandTriggerGui : public MpGuiBase {
 public:
  enum Pin { COMMAND, FIRST_BOOL };
  explicit CommandTriggerGui(IMpUnknown* host);
  int32_t MP_STDCALL initializeGui() override;
  int32_t MP_STDCALL pinValueFromHost(int32_t pin, int32_t voice, int32_t size, const void* data) override;
  int32_t MP_STDCALL pinNotifyFromHost(int32_t pin, int32_t voice) override;

 private:
  bool isBoolPin(int32_t pin) const { return pin >= FIRST_BOOL && pin <= boolCount_; }

  GuiIntPin command_;
  std::vector<bool> held_;
  int32_t boolCount_ = 0;
};
