// "ZV-SVF-02": state-variable filter with nine modes (bypass, driven
// two-section low/high/band, undamped notch pair, one-pole low- and
// high-pass, a two-pole band-pass and a second-order all-pass), switched on
// and off by a pin.
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/dsp/filter_kernels.h"
#include "modules/dsp/svf_filters.h"
#include "modules/effects/filter_tables.h"

namespace zv::effects {

struct FxSvfCoefficients {
  float f = 0.0f;
  zv::dsp::DrivenPairGains driven{};
  float g1 = 0.0f;  // one-pole gains (1 − pole)
  float g2 = 0.0f;
  float a1 = 0.0f;  // all-pass
  float a2 = 0.0f;
};

struct FxSvfMemory {
  zv::dsp::SvfPair sv;
  zv::dsp::OnePoleStage pole1;
  zv::dsp::OnePoleStage pole2;
  zv::dsp::AllPass2 allPass;
};

}  // namespace zv::effects

class FxSvf : public MpBase {
 public:
  enum Pin { SIGNAL, CUTOFF, RESONANCE, OUTPUT, MODE, SPARE, MIX, ON, RESET };
  static constexpr int32_t kModeCount = 9;

  explicit FxSvf(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  using Routine = void (FxSvf::*)(int32_t, int32_t);
  static const Routine kRoutines[kModeCount];

  void reset();

  template <class Mode>
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessBypass(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);

  AudioInPin signal_;
  AudioInPin cutoff_;
  AudioInPin resonance_;
  AudioOutPin output_;
  IntInPin mode_;
  AudioInPin spare_;
  AudioInPin mix_;
  FloatInPin reset_;
  IntInPin on_;

  zv::effects::SvfTables tables_;
  zv::effects::FxSvfCoefficients coefficients_;
  zv::effects::FxSvfMemory memory_;
  float cachedCutoff_ = 0.0f;
  float cachedResonance_ = 0.0f;
  bool coefficientsStale_ = true;
};
