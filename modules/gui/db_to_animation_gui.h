// "SE dBToAnimation": a level in decibels as a meter's animation position,
// a curve of three straight pieces limited to 0 ... 1.
#pragma once

#include "frame/gui_base.h"

class DbToAnimationGui : public MpGuiBase {
 public:
  enum Pin { ANIMATION_POSITION, DB };

  explicit DbToAnimationGui(IMpUnknown* host);

 private:
  void onDb();

  GuiFloatPin position_;
  GuiFloatPin db_;
};

// The meter curve: steep near 0 dB, flatter below -3 dB and below -8.75 dB.
float dbToAnimationPosition(float db);
