// "ZV-RING ZVQR CS": ring modulator of two band-limited inputs, at the
// sample rate or at twice it.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/shared_table.h"
#include "modules/dsp/resampler.h"

// Band-pass as the difference of two cascaded one-pole low-passes:
// y1 follows the input with pole k1, y2 follows y1 with pole k2, and
// y1 − y2 keeps what lies between the two corners. Poles are e^(−2πf/sr),
// 0..1; each memory is flushed so decaying tails never turn denormal.
struct RingBandPass {
  float k1 = 0.0f;
  float k2 = 0.0f;
  float y1 = 0.0f;
  float y2 = 0.0f;

  float process(float x) {
    y1 = zvdsp::flushTiny((y1 - x) * k1 + x);
    y2 = zvdsp::flushTiny((y2 - y1) * k2 + y1);
    return y1 - y2;
  }
  void reset() { y1 = y2 = 0.0f; }
};

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
  static void setCorners(const SharedTable& table, float band, RingBandPass& bandPass);

  const RingBandPass& carrierBand() const { return carrier_; }
  const RingBandPass& modulatorBand() const { return modulator_; }

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
  RingBandPass carrier_;
  RingBandPass modulator_;
  zvdsp::ResampleFilter2x upCarrier_;
  zvdsp::ResampleFilter2x upModulator_;
  zvdsp::ResampleFilter2x down_;
  float previousCarrier_ = 0.0f;
  float previousModulator_ = 0.0f;
  float cachedCarrierBand_ = -100.0f;
  float cachedModulatorBand_ = -100.0f;
  bool convertBands_ = true;  // the next block converts both bands first
  MpBlockFunction modeRoutine_ = nullptr;  // of the last valid Mode
};
