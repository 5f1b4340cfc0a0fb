// "SE Float Limiter": pulls Value back into Minimum ... Maximum, not at once
// but on the next tick of the shared GUI timer, so that a control being
// dragged past a limit springs back after the drag's own update.
#pragma once

#include "frame/gui_base.h"
#include "frame/gui_timer.h"

class FloatLimiterGui : public MpGuiBase, public TimerClient {
 public:
  enum Pin { MINIMUM, MAXIMUM, VALUE };
  static constexpr int32_t kTimerMilliseconds = 20;

  explicit FloatLimiterGui(IMpUnknown* host);
  bool onTimer() override;

 private:
  void onChange();

  GuiFloatPin minimum_;
  GuiFloatPin maximum_;
  GuiFloatPin value_;
};
