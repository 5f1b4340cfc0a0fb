// "ZV-SVF-02": state-variable filter with nine modes (bypass, driven
// two-section low/high/band, undamped notch pair, one-pole low- and
// high-pass, a two-pole band-pass and a second-order all-pass), switched on
// and off by a pin.
#pragma once

#include "modules/dsp/filter_kernels.h"
#include "modules/dsp/svf_filters.h"
#include "modules/effects/filter_shell.h"
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

// What the filter shell needs to run the modes: they read the tables
// directly and take Resonance as it comes (each mode limits it its own way).
struct FxSvfKernel {
  using Context = SvfTables;
  using Coefficients = FxSvfCoefficients;
  using Memory = FxSvfMemory;
  static float resonance(float r) { return r; }
};

}  // namespace zv::effects

class FxSvf : public zv::effects::FilterShell<zv::effects::FxSvfKernel> {
 public:
  enum Pin { SIGNAL, CUTOFF, RESONANCE, OUTPUT, MODE, SPARE, MIX, ON, RESET };
  static constexpr int32_t kModeCount = 9;

  explicit FxSvf(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  static const Routine kRoutines[kModeCount];

  IntInPin on_;
};
