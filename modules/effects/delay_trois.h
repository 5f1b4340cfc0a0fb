// "ZV Delay v3": ten-second mono feedback delay with linear or cubic reads,
// a time offset, Level inside the loop and equal-power panning to a stereo
// pair, plus the plain delayed signal.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/shared_table.h"
#include "modules/dsp/delay_line.h"
#include "modules/dsp/math.h"

namespace zv::effects {

// Feedback clamped to ±0.99 and pushed 0.0001 away from zero, so the loop
// never fully opens nor reaches unity. NaN counts as 0.
inline float delayFeedback(float feedback) {
  const float f = zv::dsp::clampOr(feedback, -0.99f, 0.99f, 0.0f);
  return f >= 0.0f ? f + 0.0001f : f - 0.0001f;
}

// Delay in samples for Time (0.01 s per unit plus two samples) and Time
// offset (±0.499 of the way towards 1 sample or twice the delay), limited
// so that the read point stays inside a line of `length` samples.
inline double delayDistance(float timeScale, float time, float offset, int32_t length) {
  const double longest = static_cast<double>(length - 1);
  double h = static_cast<double>(timeScale) * static_cast<double>(time) + 2.0;
  if (h > longest) h = longest;
  if (!(h >= 1.0)) h = 1.0;
  const float o = zv::dsp::clampOr(offset, -0.499f, 0.499f, 0.0f);
  const double d = static_cast<double>(o) * 2.0 * (h - 1.0) + h;
  return d < longest ? d : longest;
}

}  // namespace zv::effects

class DelayTrois : public MpBase {
 public:
  enum Pin {
    SIGNAL,
    FEEDBACK,
    TIME,
    TIME_OFFSET,
    LEVEL,
    PAN,
    CLEAR,
    VOLUME,
    LEFT_OUT,
    RIGHT_OUT,
    DELAY_OUT,
    ON,
    INTERPOLATION,
  };

  explicit DelayTrois(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

  const zv::dsp::DelayLine& line() const { return line_; }
  float leftGain() const { return leftGain_; }
  float rightGain() const { return rightGain_; }
  bool isRunning() const { return running_; }

 private:
  template <bool Cubic>
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);

  void stop();
  void start();
  void setTime(float time, float offset);
  void setFeedback(float feedback);
  void setPan(float pan);
  void setOutputsStreaming(bool streaming);

  AudioInPin signal_;
  AudioInPin feedback_;
  AudioInPin time_;
  AudioInPin timeOffset_;
  AudioInPin level_;
  AudioInPin pan_;
  AudioInPin clear_;
  AudioInPin volume_;
  AudioOutPin leftOut_;
  AudioOutPin rightOut_;
  AudioOutPin delayOut_;
  IntInPin on_;
  IntInPin interpolation_;

  SharedTable sin_;
  SharedTable cos_;
  zv::dsp::DelayLine line_;
  float timeScale_ = 0.0f;
  float fb_ = 0.0f;
  float y_ = 0.0f;
  float leftGain_ = 0.0f;
  float rightGain_ = 0.0f;
  float cachedFeedback_ = 0.0f;
  float cachedTime_ = 0.0f;
  float cachedOffset_ = 0.0f;
  float cachedPan_ = 0.0f;
  bool convertAll_ = true;  // the next block converts every control first
  bool running_ = false;
};
