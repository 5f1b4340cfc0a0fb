// "SE Image to Frame" and "SE Image to Frame (old)": an animation position
// 0 ... 1 and a frame number 0 ... Frame Count - 1, each following the other.
#pragma once

#include <cstdint>

#include "frame/gui_base.h"

class ImageToFrameGui : public MpGuiBase {
 public:
  enum Pin { ANIMATION_POSITION, FRAME_COUNT, FRAME_NUMBER };

  explicit ImageToFrameGui(IMpUnknown* host);

 private:
  void onPosition();
  void onFrame();

  GuiFloatPin position_;
  GuiIntPin frameCount_;
  GuiIntPin frameNumber_;
};
