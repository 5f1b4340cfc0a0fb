// "ZV DIST CS": gain stage with amplitude modulation, then (modes 1–4) a
// tanh waveshaper run at two or four times the sample rate.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/shared_table.h"
#include "modules/dsp/filter_kernels.h"
#include "modules/dsp/resampler.h"

namespace zv::effects {

// ((m − 1)·depth + 1.0000001)·x·gain. The constant is not 1 so that full
// depth with a zero modulator still lets a trace of the signal through.
inline float distGain(float signal, float gain, float modulator, float depth) {
  return ((modulator - 1.0f) * depth + 1.0000001f) * signal * gain;
}

// Waveshaper over a tanh table of 20001 entries (+ spare) for −1..1.
// Weighted: the shaped share grows with |c|, so small signals pass nearly
// clean; otherwise Shape alone blends clean and shaped.
template <bool Weighted>
inline float distShape(const float* tanhTable, float e, float shape) {
  // NaN lands on −1: a valid index; the NaN still reaches the output.
  const float c = zv::dsp::clampTo(e, -1.0f, 1.0f);
  const float t = zv::dsp::TanhTable(tanhTable)(c);
  // Blend written so that a full weight gives the table value exactly.
  const float w = Weighted ? shape * (c < 0.0f ? -c : c) : shape;
  return e * (1.0f - w) + t * w;
}

}  // namespace zv::effects

class DistOver : public MpBase {
 public:
  enum Pin {
    SIGNAL,
    GAIN,
    SPARE,
    MODULATOR,
    DEPTH,
    DRIVE,
    SHAPE,
    DIVISOR,
    SPARE_2,
    OUTPUT,
    MODE,
    RESET,
  };

  static constexpr int32_t kTableEntries = 20001;

  explicit DistOver(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  void subProcessPlain(int32_t bufferOffset, int32_t sampleFrames);
  template <int32_t Factor, bool Weighted>
  void subProcessShaped(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessModulated(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);
  void clear();

  // The signal's resampling pair for an oversampling factor.
  template <int32_t Factor>
  auto& up() {
    if constexpr (Factor == 2) {
      return up2_;
    } else {
      return up4_;
    }
  }
  template <int32_t Factor>
  auto& down() {
    if constexpr (Factor == 2) {
      return down2_;
    } else {
      return down4_;
    }
  }

  AudioInPin signal_;
  AudioInPin gain_;
  AudioInPin spare_;
  AudioInPin modulator_;
  AudioInPin depth_;
  AudioInPin drive_;
  AudioInPin shape_;
  AudioInPin divisor_;
  AudioInPin spare2_;
  AudioOutPin output_;
  IntInPin mode_;
  FloatInPin reset_;

  SharedTable table_;
  zv::dsp::ResampleFilter2x up2_;
  zv::dsp::ResampleFilter2x upModulator2_;  // mode 5 only
  zv::dsp::ResampleFilter2x down2_;
  zv::dsp::ResampleFilter4x up4_;
  zv::dsp::ResampleFilter4x down4_;
  float previous_ = 0.0f;  // pre-shaper value, or Signal in mode 5
  float previousModulator_ = 0.0f;
  MpBlockFunction modeRoutine_ = nullptr;  // of the last valid Mode
};
