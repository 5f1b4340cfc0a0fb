// "ZV-LPF over": one audio signal through one of 36 filter algorithms
// (ladders, three-pole ladders with taps, one-pole cascades, state-variable
// pairs, oversampled variants, bypass), coefficients from shared tables
// indexed by the cutoff control.
#pragma once

#include "modules/effects/all_filters_modes.h"
#include "modules/effects/filter_shell.h"
#include "modules/effects/filter_tables.h"

class AllFilters : public zv::effects::FilterShell<zv::effects::AllFiltersKernel> {
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
  static const Routine kRoutines[kModeCount];

  zv::effects::AllFiltersTables tables_;
  zv::effects::AllFiltersTuning tuning_;
};
