// "SE Float Scaler2": Value Out = Value In × Multiply by + Add, and back from
// Value Out to Value In. A zero factor gives back whatever the division
// gives (infinity or NaN); NaN equal to NaN lets the echo settle.
#pragma once

#include "frame/gui_base.h"

class FloatScaler2Gui : public MpGuiBase {
 public:
  enum Pin { VALUE_OUT, MULTIPLY_BY, ADD, VALUE_IN };

  explicit FloatScaler2Gui(IMpUnknown* host);

 private:
  void onValueOut();
  void onForward();

  GuiFloatPin valueOut_;
  GuiFloatPin multiplyBy_;
  GuiFloatPin add_;
  GuiFloatPin valueIn_;
};
