#include "modules/effects/ring_eq_cs.h"

#include <algorithm>
#include <cmath>

#include "modules/dsp/math.h"
#include "modules/dsp/portable_math.h"

RingEqCS::RingEqCS(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&RingEqCS::subProcessSilence);
  registerPin(CARRIER, carrierIn_);
  registerPin(MODULATOR, modulatorIn_);
  registerPin(OUTPUT, output_);
  registerPin(SPARE, spare_);
  registerPin(ENABLE_A, enableA_);
  registerPin(ENABLE_B, enableB_);
  registerPin(MODE, mode_);
  registerPin(SPARE_2, spare2_);
  registerPin(CARRIER_BAND, carrierBandIn_);
  registerPin(MODULATOR_BAND, modulatorBandIn_);
  registerPin(RESET, reset_);
}

int32_t MP_STDCALL RingEqCS::openModule() {
  const float rate = hostSampleRate();
  if (table_.open(host(), MP_TEXT("ZV51_SE_RING_P6"), rate, kTableEntries)) {
    // A rate that is not positive gives poles of 0: both low-passes pass
    // everything and the band is empty.
    const double sr = rate > 0.0f ? static_cast<double>(rate) : 0.0;
    table_.fill([sr](int32_t i) {
      const double f = 440.0 * zv::dsp::exp2(0.001 * i - 5.0);
      return zv::dsp::exp(-2.0 * 3.141592653589793 * f / sr);
    });
  }
  cachedCarrierBand_ = cachedModulatorBand_ = -100.0f;
  if (table_.isOpen()) {
    setCorners(table_, 0.0f, carrier_);
    setCorners(table_, 0.0f, modulator_);
  }
  convertBands_ = true;
  reset();
  modeRoutine_ = static_cast<MpBlockFunction>(&RingEqCS::subProcessSilence);
  setBlockFunction(&RingEqCS::subProcessSilence);
  return MpBase::openModule();
}

void RingEqCS::setCorners(const SharedTable& table, float band, zv::effects::RingBandPass& bandPass) {
  const float c = band * 2.0f;
  bandPass.k1 = table.atControl(c);
  bandPass.k2 = table.atControl(c - 1.0f);
}

void RingEqCS::reset() {
  carrier_.reset();
  modulator_.reset();
  upCarrier_.reset();
  upModulator_.reset();
  down_.reset();
  previousCarrier_ = previousModulator_ = 0.0f;
}

void RingEqCS::pinsUpdated() {
  if (reset_.isUpdated() && reset_ > 0.0f) reset();
  if (enableA_ <= 0 || enableB_ <= 0 || !table_.isOpen()) {
    reset();
    output_.setStreaming(false);
    setBlockFunction(&RingEqCS::subProcessSilence);
    setSleepMode(true);
    return;
  }
  if (mode_.isUpdated()) reset();
  if (mode_ == 0) modeRoutine_ = static_cast<MpBlockFunction>(&RingEqCS::subProcess<false>);
  if (mode_ == 1) modeRoutine_ = static_cast<MpBlockFunction>(&RingEqCS::subProcess<true>);
  output_.setStreaming(true);
  setBlockFunction(modeRoutine_);
  setSleepMode(false);
}

template <bool Oversampled>
void RingEqCS::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  if (sampleFrames <= 0) return;
  const float* carrier = carrierIn_.buffer() + bufferOffset;
  const float* modulator = modulatorIn_.buffer() + bufferOffset;
  const float* carrierBand = carrierBandIn_.buffer() + bufferOffset;
  const float* modulatorBand = modulatorBandIn_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;

  if (convertBands_) {
    convertBands_ = false;
    cachedCarrierBand_ = carrierBand[0];
    cachedModulatorBand_ = modulatorBand[0];
    setCorners(table_, cachedCarrierBand_, carrier_);
    setCorners(table_, cachedModulatorBand_, modulator_);
  }
  for (int32_t i = 0; i < sampleFrames; ++i) {
    if (!zv::dsp::sameValue(carrierBand[i], cachedCarrierBand_)) {
      cachedCarrierBand_ = carrierBand[i];
      setCorners(table_, cachedCarrierBand_, carrier_);
    }
    if (!zv::dsp::sameValue(modulatorBand[i], cachedModulatorBand_)) {
      cachedModulatorBand_ = modulatorBand[i];
      setCorners(table_, cachedModulatorBand_, modulator_);
    }
    const float a = carrier_.process(carrier[i]);
    const float m = modulator_.process(modulator[i]);
    if constexpr (Oversampled) {
      const float stepA = (a - previousCarrier_) * 0.5f;
      const float stepM = (m - previousModulator_) * 0.5f;
      const float first = down_.process(upCarrier_.process(previousCarrier_ + stepA) *
                                        upModulator_.process(previousModulator_ + stepM));
      down_.process(upCarrier_.process(previousCarrier_ + 2.0f * stepA) *
                    upModulator_.process(previousModulator_ + 2.0f * stepM));
      out[i] = first;
      previousCarrier_ = a;
      previousModulator_ = m;
    } else {
      out[i] = a * m;
    }
  }
}

void RingEqCS::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
}
