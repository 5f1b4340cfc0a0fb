#include "modules/gui/image_to_frame_gui.h"

#include <limits>

#include "modules/dsp/math.h"

ImageToFrameGui::ImageToFrameGui(IMpUnknown* host) : MpGuiBase(host) {
  position_.initialize(this, ANIMATION_POSITION, &ImageToFrameGui::onPosition);
  frameCount_.initialize(this, FRAME_COUNT, &ImageToFrameGui::onFrame);
  frameNumber_.initialize(this, FRAME_NUMBER, &ImageToFrameGui::onFrame);
}

void ImageToFrameGui::onPosition() {
  // Frame Count - 1 in 64 bits (Frame Count may be INT_MIN); the frame is
  // limited to the int range before truncation, NaN to its lower end.
  const auto last = static_cast<float>(int64_t{frameCount_.getValue()} - 1);
  const float frame = last * position_.getValue() + 0.5f;
  constexpr int32_t kLowest = std::numeric_limits<int32_t>::min();
  frameNumber_ = zv::dsp::truncateTo(frame, kLowest, std::numeric_limits<int32_t>::max(), kLowest);
}

void ImageToFrameGui::onFrame() {
  int64_t last = int64_t{frameCount_.getValue()} - 1;
  if (last == 0) last = 1;
  position_ = static_cast<float>(frameNumber_.getValue()) / static_cast<float>(last);
}
