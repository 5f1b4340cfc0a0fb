#include "modules/effects/fx_svf.h"

#include <algorithm>

#include "modules/dsp/math.h"

namespace zv::effects {
namespace {

using zv::dsp::clampTo;
using zv::dsp::SvfTap;
using zv::dsp::usableResonance;
using Tables = zv::effects::SvfTables;

// Modes 1–3: the driven pair of the multi-mode filter.
template <SvfTap kTap>
struct DrivenPair {
  static constexpr bool kReadsResonance = true;
  static void set(FxSvfCoefficients& c, const Tables& t, float cutoff, float res, float) {
    c.f = t.volt.atControl(clampTo(cutoff, 0.0f, 1.0f));
    c.driven = zv::dsp::drivenPairGains(c.f, usableResonance(res), t.res.data());
  }
  static float tick(FxSvfMemory& m, const FxSvfCoefficients& c, const Tables& t, float in, float mix) {
    return zv::dsp::runDrivenPair<kTap>(m.sv, in, c.f, c.driven, mix, t.res.data());
  }
};

// Mode 4.
struct NotchPair {
  static constexpr bool kReadsResonance = true;
  static void set(FxSvfCoefficients& c, const Tables& t, float cutoff, float, float) {
    c.f = std::min(t.volt.atControl(clampTo(cutoff, 0.0f, 0.93f)), zv::dsp::kNotchPairMaxF);
  }
  static float tick(FxSvfMemory& m, const FxSvfCoefficients& c, const Tables&, float in, float mix) {
    return zv::dsp::runNotchPair(m.sv, in, c.f, mix);
  }
};

// Modes 5 and 6: one pole, its low-pass or the remainder.
template <bool kHighPass>
struct OnePole {
  static constexpr bool kReadsResonance = false;
  static void set(FxSvfCoefficients& c, const Tables& t, float cutoff, float, float) {
    c.g1 = 1.0f - t.p6.atControl(clampTo(cutoff, 0.0f, 1.0f));
  }
  static float tick(FxSvfMemory& m, const FxSvfCoefficients& c, const Tables&, float in, float) {
    const float y = m.pole1.run(in, c.g1);
    return kHighPass ? in - y : y;
  }
};

// Mode 7: a low-pass minus a lower low-pass, ten octaves apart; each pole
// stops at its end of the table range.
struct BandPass {
  static constexpr bool kReadsResonance = false;
  static void set(FxSvfCoefficients& c, const Tables& t, float cutoff, float, float) {
    c.g1 = 1.0f - t.p6.atControl(clampTo(2.0f * cutoff, 0.0f, 1.0f));
    c.g2 = 1.0f - t.p6.atControl(clampTo(2.0f * cutoff - 1.0f, 0.0f, 1.0f));
  }
  static float tick(FxSvfMemory& m, const FxSvfCoefficients& c, const Tables&, float in, float) {
    const float y1 = m.pole1.run(in, c.g1);
    return y1 - m.pole2.run(y1, c.g2);
  }
};

// Mode 8: Resonance narrows the pole pair around the cutoff. Its own limits
// (e within 0.5..4, NaN to 0.5) cover Resonance up to about 2.33.
struct AllPass {
  static constexpr bool kReadsResonance = true;
  static void set(FxSvfCoefficients& c, const Tables& t, float cutoff, float res, float) {
    const float d = clampTo(cutoff, 0.0f, 1.0f);
    const float e = clampTo(res * 1.5f + 0.5f, 0.5f, 4.0f);
    const float w = clampTo(e * d, 0.0f, 1.0f);
    c.a1 = t.apExpA.atControl(w) * t.apCos.atControl(d);
    c.a2 = t.apExpB.atControl(w);
  }
  static float tick(FxSvfMemory& m, const FxSvfCoefficients& c, const Tables&, float in, float) {
    return m.allPass.run(in, c.a1, c.a2);
  }
};

}  // namespace
}  // namespace zv::effects

using namespace zv::effects;

static_assert(FxSvf::MIX == static_cast<int32_t>(FilterShell<FxSvfKernel>::MIX), "shared pins first");

const FxSvf::Routine FxSvf::kRoutines[kModeCount] = {
    &FxSvf::subProcessBypass,
    &FxSvf::subProcess<DrivenPair<SvfTap::Low>>,
    &FxSvf::subProcess<DrivenPair<SvfTap::High>>,
    &FxSvf::subProcess<DrivenPair<SvfTap::Band>>,
    &FxSvf::subProcess<NotchPair>,
    &FxSvf::subProcess<OnePole<false>>,
    &FxSvf::subProcess<OnePole<true>>,
    &FxSvf::subProcess<BandPass>,
    &FxSvf::subProcess<AllPass>,
};

FxSvf::FxSvf(IMpUnknown* host) : FilterShell(host) {
  registerPin(ON, on_);
  registerPin(RESET, reset_);
}

int32_t FxSvf::openModule() {
  context_.open(host(), zv::dsp::usableSampleRate(hostSampleRate()));
  openShell();
  return MpBase::openModule();
}

void FxSvf::pinsUpdated() { chooseRoutine(on_ == 1 && context_.complete(), kRoutines); }
