// "ZV-RING ZVQR CS": ring modulator of two band-limited inputs, at the
// sample rate or at twice it.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/shared_table.h"
#include "modules/dsp/math.h"
#include "modules/dsp/resampler.h"

namespace zv::effects {

// Band-pass as the difference of two cascaded one-pole low-passes:
// y1 follows the input with pole k1, y2 follows y1 with pole k2, and
// y1 − y2 keeps what lies between the two corners. Poles are e^(−2πf/sr),
// 0..1; each memory is flushed so decaying tails never turn denormal, and
// the input is bounded so that no NaN or overflow stays in them.
struct RingBandPass {
  float k1 = 0.0f;
  float k2 = 0.0f;
  float y1 = 0.0f;
  float y2 = 0.0f;

  float process(float value) {
    const float x = zv::dsp::boundState(value);
    y1 = zv::dsp::flushTiny((y1 - x) * k1 + x);
    y2 = zv::dsp::flushTiny((y2 - y1) * k2 + y1);
    return y1 - y2;
  }
  void reset() { y1 = y2 = 0.0f; }
};

}  // namespace zv::effects

class RingEqCS : public MpBase {
 public:
  enum Pin {
    CARRIER,
    MODULATOR,
    OUTPUT,
    SPARE,
    ENABLE_A,
    ENABLE_B,
    MODE,
    SPARE_2,
    CARRIER_BAND,
    MODULATOR_BAND,
    RESET,
  };

  // Pole table: entry i for 440 × 2^(0.001·i − 5) Hz, one per sample rate.
  static constexpr int32_t kTableEntries = 10001;

  explicit RingEqCS(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

  // Band 0..0.5 moves the first corner up the table, 0.5..1 the second.
  static void setCorners(const SharedTable& table, float band, zv::effects::RingBandPass& bandPass);

  const zv::effects::RingBandPass& carrierBand() const { return carrier_; }
  const zv::effects::RingBandPass& modulatorBand() const { return modulator_; }

 private:
  template <bool Oversampled>
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);
  void reset();

  AudioInPin carrierIn_;
  AudioInPin modulatorIn_;
  AudioOutPin output_;
  AudioInPin spare_;
  IntInPin enableA_;
  IntInPin enableB_;
  IntInPin mode_;
  AudioInPin spare2_;
  AudioInPin carrierBandIn_;
  AudioInPin modulatorBandIn_;
  FloatInPin reset_;

  SharedTable table_;
  zv::effects::RingBandPass carrier_;
  zv::effects::RingBandPass modulator_;
  zv::dsp::ResampleFilter2x upCarrier_;
  zv::dsp::ResampleFilter2x upModulator_;
  zv::dsp::ResampleFilter2x down_;
  float previousCarrier_ = 0.0f;
  float previousModulator_ = 0.0f;
  float cachedCarrierBand_ = -100.0f;
  float cachedModulatorBand_ = -100.0f;
  bool convertBands_ = true;               // the next block converts both bands first
  MpBlockFunction modeRoutine_ = nullptr;  // of the last valid Mode
};
