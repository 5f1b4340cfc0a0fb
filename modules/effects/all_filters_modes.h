// The 36 algorithms of the multi-mode filter, each a small policy built from
// the shared kernels: set() turns Cutoff/Resonance (and Mix where a mode
// reads it) into coefficients when they change, tick() filters one sample.
//
// tick() gets Signal bounded by the filter shell. The oversampled modes hand
// it (times at most a pre-gain of a few) to the oversampler as bounded, and
// what each returns per sub-sample is bounded too: a shaper or a clamp
// limits every ladder and cascade input, and mode 0 clamps its last stage.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "modules/dsp/filter_kernels.h"
#include "modules/dsp/resampler.h"
#include "modules/dsp/svf_filters.h"
#include "modules/effects/filter_tables.h"

namespace zv::effects {

using zv::dsp::clampTo;
using zv::dsp::SvfTap;
using zv::dsp::usableResonance;

// Tuning constants, per instance (two of them depend on the sample rate).
struct AllFiltersTuning {
  float rateGain = 0.93f;
  float cutoffCorrectionA[12] = {};
  float cutoffCorrectionB[12] = {};
  float resonanceScale[12] = {};
  float outputGain[12] = {};

  void set(float sampleRate) {
    const bool above = sampleRate > 44100.0f;
    rateGain = above ? 0.918f : 0.93f;
    const float a[12] = {-0.001f,    -0.001f,    -0.000907f, -0.000907f, -0.000873f, -0.000793f,
                         -0.000633f, -0.000323f, 0.00015f,   0.000644f,  -0.000317f, -0.000317f};
    const float b[12] = {0.000868f,  0.000868f,  0.000868f, 0.000465f, 0.000049f,  -0.000221f,
                         -0.000334f, -0.000207f, 0.000185f, 0.000645f, -0.000317f, -0.000317f};
    const float top = above ? 0.179f : 0.18146f;
    const float scale[12] = {0.174f, 0.174f, 0.174f, 0.174f, 0.174f, 0.173f, 0.172f, 0.171f, 0.17f, 0.17f, top, top};
    const float gain[12] = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 0.75f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    std::copy_n(a, 12, cutoffCorrectionA);
    std::copy_n(b, 12, cutoffCorrectionB);
    std::copy_n(scale, 12, resonanceScale);
    std::copy_n(gain, 12, outputGain);
  }
};

struct AllFiltersContext {
  const zv::effects::AllFiltersTables* tables = nullptr;
  const AllFiltersTuning* tuning = nullptr;
  zv::dsp::TanhTable tanh;
};

struct AllFiltersCoefficients {
  float k = 0.0f, p = 0.0f;     // ladder
  float kh = 0.0f, ph = 0.0f;   // high-pass sections
  float r = 0.0f;               // feedback
  float preGain = 1.0f;         // input gain (before oversampling in 2×/4× modes)
  float inverseDivisor = 1.0f;  // 1 / (Res + 1), guarded
  float outGain = 1.0f;
  float cubic = 0.0f;       // soft-clip amount of the feedback path
  float cubicLimit = 0.0f;  // mode 0: the cubic clip's zero, at most the state limit
  float mixA = 0.0f;        // mode 8: Res × 3.2
  bool resonant = false;    // modes 7, 8: the resonant ladder runs
  float res = 0.0f;
  float l = 0.0f;        // modes 34, 35: corrected cutoff
  float g = 0.0f;        // one-pole gain
  float drive = 0.0f;    // one-pole cascade feedback: Res'·4·acr
  float f = 0.0f;        // state-variable frequency
  float fSingle = 0.0f;  // modes 27–29: limited f
  float q = 1.0f;
  float dampingBase = 0.0f;
  zv::dsp::DrivenPairGains driven{};
};

struct AllFiltersMemory {
  zv::dsp::LadderStage ladder[5];
  zv::dsp::LadderStage plain[4];
  zv::dsp::HighPassStage highPass[4];
  zv::dsp::OnePoleStage pole[4];
  float feedback = 0.0f;
  float previous = 0.0f;
  zv::dsp::SvfPair sv;
  zv::dsp::Oversampler2x twice;
  zv::dsp::Oversampler4x fourTimes;
};

// What the filter shell needs to run these modes; they read Resonance
// NaN-free and limited.
struct AllFiltersKernel {
  using Context = AllFiltersContext;
  using Coefficients = AllFiltersCoefficients;
  using Memory = AllFiltersMemory;
  static float resonance(float r) { return usableResonance(r); }
};

// A divisor Res + 1 (or 2·Res + 1) kept away from 0.
inline float guardedInverse(float d) { return 1.0f / (d > 0.01f ? d : 0.01f); }

inline void setLadder(AllFiltersCoefficients& c, const zv::dsp::TableView& kTable, float v) {
  c.k = kTable.atControl(v);
  c.p = (c.k + 1.0f) * 0.5f;
}
inline float runLadder(zv::dsp::LadderStage* s, int32_t stages, float u, const AllFiltersCoefficients& c) {
  for (int32_t j = 0; j < stages; ++j) u = s[j].run(u, c.p, c.k);
  return u;
}

// ---- Family A: four-pole ladders -------------------------------------

// Mode 1: plain four-pole ladder.
struct Ladder {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float, float) {
    setLadder(c, x.tables->ok0, clampTo(cutoff, 0.0f, 0.99f));
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext&, float in, float) {
    return runLadder(m.ladder, 4, in, c);
  }
};

// Mode 9: resonant ladder with the input scaled down as resonance rises.
struct LadderScaledInput {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    const float v = clampTo(cutoff, 0.0f, 0.99f);
    setLadder(c, x.tables->ok0, v);
    c.r = res * 0.171f * x.tables->osloo1.atControl(v);
    c.inverseDivisor = guardedInverse(res + 1.0f);
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext&, float in, float) {
    const float u = clampTo(in * c.inverseDivisor - c.r * m.ladder[3].y, -2.0f, 2.0f);
    return runLadder(m.ladder, 4, u, c);
  }
};

// Modes 7 and 8: a plain ladder, and while resonance is positive a resonant
// one whose output is mixed in.
template <bool kMode8>
struct DualLadder {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    const float v = clampTo(cutoff, 0.0f, 0.99f);
    setLadder(c, x.tables->ok0, v);
    c.r = res * (kMode8 ? 0.74f : 0.9f) * x.tables->os0.atControl(v);
    c.resonant = res > 0.0f;
    c.cubic = res * 0.015f * (1.0f / 6.0f);
    c.mixA = res * 3.2f;
    c.inverseDivisor = guardedInverse(2.0f * res + 1.0f);
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext&, float in, float) {
    constexpr float kLimit = kMode8 ? 1.5f : 15.0f;
    const float z4 = runLadder(m.plain, 4, kMode8 ? clampTo(in, -1.5f, 1.5f) : in, c);
    if (!c.resonant) return z4;
    float u = clampTo(in - c.r * m.ladder[3].y, -kLimit, kLimit);
    if (zv::dsp::absOf(u) > 0.5f) u -= u * u * u * c.cubic;
    const float y4 = runLadder(m.ladder, 4, u, c);
    if constexpr (kMode8)
      return (c.mixA * y4 + z4) * c.inverseDivisor;
    else
      return z4 + (y4 - z4) * 0.15f;
  }
};

// Mode 0: 2× ladder with a cubic soft clip on the last stage. Negative
// resonance would make the feedback positive and the clip an expander, and
// nothing else bounds this mode: it is read as 0. Past its zero at
// 1/√cubic the cubic turns sign and grows, and a loud input then runs the
// loop away to infinity; the stage is held at that zero first (full-scale
// signals stay below it), and never beyond the state limit, so that the
// down filter gets a bounded value at any resonance.
struct LadderCubic2x {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float resonance, float) {
    const float res = resonance > 0.0f ? resonance : 0.0f;
    const float v = clampTo(cutoff - 0.00395f, 0.0f, 1.039f);
    setLadder(c, x.tables->ok0x2, v);
    c.r = x.tables->oslo.atControl(v) * res;
    c.cubic = res * 0.16666667f;
    const float zero = c.cubic > 0.0f ? 1.0f / std::sqrt(c.cubic) : zv::dsp::kStateLimit;
    c.cubicLimit = zero < zv::dsp::kStateLimit ? zero : zv::dsp::kStateLimit;
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext&, float in, float) {
    return m.twice.processBounded(in, [&](float s) {
      runLadder(m.ladder, 4, s - c.r * m.ladder[3].y, c);
      float& y4 = m.ladder[3].y;
      y4 = clampTo(y4, -c.cubicLimit, c.cubicLimit);
      y4 -= y4 * y4 * y4 * c.cubic;
      return y4;
    });
  }
};

// Mode 2: 2× ladder with a tanh-shaped input.
struct LadderTanh2x {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    const float v = clampTo(cutoff - 0.0009f, 0.0f, 1.039f);
    setLadder(c, x.tables->ok0x2, v);
    c.r = res * 0.935f * x.tables->oslo.atControl(v);
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext& x, float in, float) {
    return m.twice.processBounded(
        in, [&](float s) { return runLadder(m.ladder, 4, x.tanh.soft4(s - c.r * m.ladder[3].y), c); });
  }
};

// Modes 34 (five stages) and 35 (four): 2× ladders with a tuned cutoff
// correction, a level-dependent input shaper and an output gain by
// resonance. Mix is a blend (NaN as 0): beyond 0..1 it would scale the
// shaper's negative half without limit.
inline float tunedLadderMix(float mix) { return clampTo(mix, 0.0f, 1.0f); }

template <bool kFiveStages>
struct TunedLadder2x {
  static constexpr float kLimit = kFiveStages ? 1.687f : 3.38f;
  static constexpr float kInverseLimit = kFiveStages ? 0.5927682f : 0.29585797f;

  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float mix) {
    const AllFiltersTuning& t = *x.tuning;
    c.res = res;
    c.outGain = zv::dsp::curveAt(t.outputGain, res * 10.0f);
    const float cc = clampTo(cutoff, 0.0f, 1.054f);
    const float position = cc * 10.0f;
    const float a = zv::dsp::curveAt(t.cutoffCorrectionA, position);
    const float b = zv::dsp::curveAt(t.cutoffCorrectionB, position);
    c.l = clampTo(a + (b - a) * tunedLadderMix(mix) + cc, 0.0f, 1.054f);
    setLadder(c, x.tables->ok0x2, c.l);
    c.r = x.tables->oslo1.atControl(c.l) * res * zv::dsp::curveAt(t.resonanceScale, position);
    if constexpr (kFiveStages) c.r *= t.rateGain;
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext& x, float in,
                    float mix) {
    const float excess = tunedLadderMix(mix) - c.l;
    const float over = excess > 0.0f ? excess : 0.0f;
    return c.outGain * m.twice.processBounded(in, [&](float s) {
      const float fed = kFiveStages ? (m.ladder[4].y - m.ladder[3].y) * 1.079f + m.ladder[3].y : m.ladder[3].y;
      const float h = clampTo(s - c.r * fed, -kLimit, kLimit) * kInverseLimit;
      const float low = h < 0.0f ? h : 0.0f;
      const float shaped = ((low * over + x.tanh(h) - h) * zv::dsp::absOf(h) * c.res + h) * kLimit;
      runLadder(m.ladder, kFiveStages ? 5 : 4, shaped, c);
      return kFiveStages ? m.ladder[3].y : m.ladder[2].y;
    });
  }
};

// ---- Family B: three-pole ladders --------------------------------------

enum class Tap { Y1, Y2, Y3, Raw };

// Modes 10–19: three-pole ladder, a tap, optional high-pass stages.
template <Tap kTap, int32_t kHighPass, bool kGainByResonance>
struct ThreePole {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    const auto& t = *x.tables;
    const float v = clampTo(cutoff, 0.0f, 1.039f);
    setLadder(c, t.k18, v);
    c.r = res * 0.171f * t.r18.atControl(v);
    c.preGain = (res * 6.65f + 1.0f) * guardedInverse(res + 1.0f);
    c.kh = t.ohp.atControl(v);
    c.ph = (c.kh + 1.0f) * 0.5f;
    c.outGain = kGainByResonance ? 1.0f - res * 0.5f : 1.0f;
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext&, float in, float) {
    float y;
    if constexpr (kTap == Tap::Raw) {
      y = clampTo(in, -2.0f, 2.0f);
    } else {
      const float u = clampTo(in * c.preGain - c.r * m.ladder[2].y, -2.0f, 2.0f);
      runLadder(m.ladder, 3, u, c);
      y = m.ladder[kTap == Tap::Y1 ? 0 : kTap == Tap::Y2 ? 1 : 2].y;
    }
    for (int32_t j = 0; j < kHighPass; ++j) y = m.highPass[j].run(y, c.ph, c.kh);
    return y * c.outGain;
  }
};

// Modes 6 (tanh-limited input) and 22 (blended shaper, its own feedback
// factor, a milder resonance pre-gain times three, half output): 2×
// three-pole ladders.
template <bool kMode22>
struct ThreePole2x {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    const auto& t = *x.tables;
    const float v = clampTo(cutoff, 0.0f, 1.039f);
    setLadder(c, t.k18x2, v);
    c.r = res * (kMode22 ? 0.2f : 0.171f) * t.r18x2.atControl(v);
    c.preGain = kMode22 ? (res * 0.2f * 6.65f + 1.0f) * 3.0f : res * 6.65f + 1.0f;
    c.inverseDivisor = guardedInverse(res + 1.0f);
    c.outGain = kMode22 ? 0.5f : 1.0f;
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext& x, float in, float) {
    return c.outGain * m.twice.processBounded(in * c.preGain, [&](float s) {
      const float u = s * c.inverseDivisor - c.r * m.ladder[2].y;
      return runLadder(m.ladder, 3, kMode22 ? x.tanh.blended(u) : x.tanh.soft4(u), c);
    });
  }
};

// ---- Family C: one-pole cascades with resonance compensation ------------

// Mode 3: four one-poles; the feedback is the average of two samples of the
// clamped last stage.
struct Cascade {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    const float v = clampTo(cutoff, 0.0f, 1.011f);
    c.g = x.tables->g.atControl(v);
    c.drive = res * 0.88f * 4.0f * x.tables->acr.atControl(v);
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext&, float in, float) {
    float u = in - c.drive * m.feedback;
    for (auto& stage : m.pole) u = stage.run(u, c.g);
    const float clamped = clampTo(u, -2.0f, 2.0f);
    m.feedback = (m.previous + clamped) * 0.5f;
    m.previous = clamped;
    return m.feedback;
  }
};

// Mode 5: 2× cascade with the blended shaper on each stage's input and state.
struct CascadeBlended2x {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    const float v = clampTo(cutoff, 0.0f, 1.05f);
    c.g = x.tables->gX2.atControl(v);
    c.drive = res * 1.05264f * 4.0f * x.tables->acrX2.atControl(v);
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext& x, float in, float) {
    auto shape = [&](float v) { return x.tanh.blended(v); };
    return m.twice.processBounded(in, [&](float s) {
      float u = s - c.drive * m.feedback;
      for (auto& stage : m.pole) u = stage.runShaped(u, c.g, shape);
      m.feedback = (m.previous + u) * 0.5f;
      m.previous = u;
      return m.feedback;
    });
  }
};

// Modes 4 and 21 (input × 3, output × 0.5): 4× cascade with a 1.5-scaled
// tanh on each stage.
template <bool kMode21>
struct CascadeTanh4x {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    const float v = clampTo(cutoff, 0.0f, 1.05f);
    c.g = x.tables->gX4.atControl(v);
    c.drive = res * 1.105272f * 4.0f * x.tables->acrX4.atControl(v);
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext& x, float in, float) {
    auto shape = [&](float v) { return x.tanh.soft15(v); };
    const float out = m.fourTimes.processBounded(kMode21 ? in * 3.0f : in, [&](float s) {
      float u = clampTo(s - c.drive * m.feedback, -1.5f, 1.5f);
      for (auto& stage : m.pole) u = stage.runShaped(u, c.g, shape);
      m.feedback = (m.previous + u) * 0.5f;
      m.previous = u;
      return m.feedback;
    });
    return kMode21 ? out * 0.5f : out;
  }
};

// ---- Family D: state-variable filters ----------------------------------

inline float svFrequency(const AllFiltersContext& x, float cutoff, float vmax) {
  return x.tables->svVolt.atControl(clampTo(cutoff, 0.0f, vmax));
}

// Modes 23–26: two damped sections blended by Mix; the notch form (26)
// keeps a minimum damping.
template <SvfTap kTap>
struct DampedPair {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    c.f = svFrequency(x, cutoff, 1.0f);
    c.dampingBase = kTap == SvfTap::Notch ? res * 0.13f + 0.82f : res * 0.98f;
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext& x, float in,
                    float mix) {
    return zv::dsp::runDampedPair<kTap>(m.sv, in, c.f, c.dampingBase, mix, x.tables->svRes.data());
  }
};

// Modes 27–29: one section.
template <SvfTap kTap>
struct SingleSection {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    const float amount = clampTo(res * 0.88f, 0.0f, 1.0f);
    c.fSingle = zv::dsp::dampedFrequency(svFrequency(x, cutoff, 0.9f), x.tables->svRes.data(), amount);
    c.q = 1.0f - amount;
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext&, float in, float) {
    return zv::dsp::tapOf<kTap>(m.sv.first.run(in, c.fSingle, c.q));
  }
};

// Modes 30–32.
template <SvfTap kTap>
struct DrivenPair {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float res, float) {
    c.f = svFrequency(x, cutoff, 1.0f);
    c.driven = zv::dsp::drivenPairGains(c.f, res, x.tables->svRes.data());
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext& x, float in,
                    float mix) {
    return zv::dsp::runDrivenPair<kTap>(m.sv, in, c.f, c.driven, mix, x.tables->svRes.data());
  }
};

// Mode 33.
struct NotchPair {
  static void set(AllFiltersCoefficients& c, const AllFiltersContext& x, float cutoff, float, float) {
    const float f = svFrequency(x, cutoff, 0.93f);
    c.f = f < zv::dsp::kNotchPairMaxF ? f : zv::dsp::kNotchPairMaxF;
  }
  static float tick(AllFiltersMemory& m, const AllFiltersCoefficients& c, const AllFiltersContext&, float in,
                    float mix) {
    return zv::dsp::runNotchPair(m.sv, in, c.f, mix);
  }
};

}  // namespace zv::effects
