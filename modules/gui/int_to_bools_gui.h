// "SE Int to Bools" and "SE Bools to Int": Value selects one of a row of bool
// pins (duplicated by the host); a bool turned on selects its number back.
#pragma once

#include <cstdint>

#include "frame/gui_base.h"

class IntToBoolsGui : public MpGuiBase {
 public:
  enum Pin { VALUE, FIRST_BOOL };

  explicit IntToBoolsGui(IMpUnknown* host);
  int32_t MP_STDCALL initializeGui() override;
  int32_t MP_STDCALL pinValueFromHost(int32_t pin, int32_t voice, int32_t size, const void* data) override;
  int32_t MP_STDCALL pinNotifyFromHost(int32_t pin, int32_t voice) override;

 private:
  void onValue();
  bool isBoolPin(int64_t pin) const { return pin >= FIRST_BOOL && pin <= boolCount_; }
  // Value + 1 without overflow at INT_MAX.
  int64_t selectedPin() const { return int64_t{value_.getValue()} + 1; }

  GuiIntPin value_;
  int32_t boolCount_ = 0;
  int64_t current_ = -1;
};
