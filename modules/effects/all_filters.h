// "ZV-LPF over": one audio signal through one of 36 filter algorithms
// (ladders, three-pole ladders with taps, one-pole cascades, state-variable
// pairs, oversampled variants, bypass), coefficients from shared tables
// indexed by the cutoff control.
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/effects/all_filters_modes.h"
#include "modules/effects/filter_tables.h"

class AllFilters : public MpBase {
 public:
  enum Pin { SIGNAL, CUTOFF, RESONANCE, OUTPUT, MODE, SPARE, MIX, RESET };
  static constexpr int32_t kModeCount = 36;
  static constexpr int32_t kBypassMode = 20;

  explicit AllFilters(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

  const zv::effects::AllFiltersTables& tables() const { return tables_; }
  const zv::effects::AllFiltersTuning& tuning() const { return tuning_; }

 private:
  using Routine = void (AllFilters::*)(int32_t, int32_t);
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

  zv::effects::AllFiltersTables tables_;
  zv::effects::AllFiltersTuning tuning_;
  zv::effects::AllFiltersContext context_;
  zv::effects::AllFiltersCoefficients coefficients_;
  zv::effects::AllFiltersMemory memory_;
  float cachedCutoff_ = 0.0f;
  float cachedResonance_ = 0.0f;
  bool coefficientsStale_ = true;
};
