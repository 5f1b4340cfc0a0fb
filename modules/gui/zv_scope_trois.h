// "ZV51MODS: ZV SCOPE V3": an oscilloscope in two halves. The audio side
// captures a stretch of its input after each rising zero crossing, packs it
// into signed bytes and sends it at most about fifteen times a second; the
// GUI side draws the latest capture.
#pragma once

#include <cstdint>

#include "frame/gui_base.h"
#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/gui/scope_capture.h"

class ZvScopeTrois : public MpBase {
 public:
  enum Pin { CAPTURE, SIGNAL, TIME, INFO };

  explicit ZvScopeTrois(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  void startCapture();
  void capture(int32_t bufferOffset, int32_t sampleFrames);
  void holdOff(int32_t bufferOffset, int32_t sampleFrames);
  void waitForNegative(int32_t bufferOffset, int32_t sampleFrames);
  void waitForPositive(int32_t bufferOffset, int32_t sampleFrames);
  void send(int32_t blockPosition);

  BlobOutPin capture_;
  AudioInPin signal_;
  AudioInPin time_;
  BlobOutPin info_;
  int8_t buffer_[zv::gui::kCaptureBytes] = {};
  int32_t writePosition_ = 0;
  int32_t length_ = zv::gui::kShortestCapture;
  float samplesPerMillisecond_ = 0.0f;
  int32_t holdOffCountdown_ = 0;
};

class ZvScopeTroisGui : public SeGuiCompositedGfxBase {
 public:
  enum Pin { CAPTURE, INFO };
  static constexpr uint32_t kCentreColour = 0x8D877A;
  static constexpr uint32_t kTraceColour = 0xD2C8BA;

  explicit ZvScopeTroisGui(IMpUnknown* host);
  int32_t MP_STDCALL drawGraphics(MpDrawingContext context) override;

 private:
  void onCapture() { invalidate(); }

  GuiBlobPin capture_;
  GuiBlobPin info_;
};
