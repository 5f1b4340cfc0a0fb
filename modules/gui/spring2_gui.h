// "SE Spring2" and "SE Spring": Value returns to Rest value when Held is
// released, like a spring-loaded control.
#pragma once

#include "frame/gui_base.h"

class Spring2Gui : public MpGuiBase {
 public:
  enum Pin { VALUE, HELD, REST_VALUE };

  explicit Spring2Gui(IMpUnknown* host);

 private:
  void onHeld();

  GuiFloatPin value_;
  GuiBoolPin held_;
  GuiFloatPin restValue_;
  bool wasHeld_ = false;
};
