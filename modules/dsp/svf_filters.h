// Two-section state-variable filters shared by the multi-mode and the
// state-variable filter modules: the second section filters a tap of the
// first, and the output blends the two taps by Mix (12 and 24 dB slopes).
//
// The frequency coefficient of a damped section is limited by a table of
// 10001 limits indexed by the damping amount × 10000, which keeps
// f² + 2·f·q < 4. Damping amounts are limited to 0..1 (q = 1 − amount
// stays within 0..1).
#pragma once

#include <cstdint>

#include "modules/dsp/filter_kernels.h"

namespace zv::dsp {

// f limited by the damping table at the truncated index amount × 10000.
inline float dampedFrequency(float f, const float* limits, float amount) {
  const auto i = static_cast<int32_t>(clampTo(amount * 10000.0f, 0.0f, 10000.0f));
  return f < limits[i] ? f : limits[i];
}

// Resonance reduction once the previous output exceeds 1: 0..0.25.
inline float levelReduction(float lastOutput) { return clampTo((absOf(lastOutput) - 1.0f) * 0.25f, 0.0f, 0.25f); }

// Mix as a blend weight; NaN reads as 0 (the first section alone) so that
// it never reaches the output or the level memory.
inline float blendWeight(float mix) { return mix == mix ? mix : 0.0f; }

struct SvfPair {
  SvfSection first;
  SvfSection second;
  float lastOutput = 0.0f;
};

// Damping amount u = base·(1 − reduction); the sections use q = 1 − u and
// the milder q = 1 − (u − u²).
template <SvfTap Tap>
inline float runDampedPair(SvfPair& m, float in, float f, float dampingBase, float mix, const float* limits) {
  const float u = clampTo(dampingBase * (1.0f - levelReduction(m.lastOutput)), 0.0f, 1.0f);
  const float u2 = u - u * u;
  const float a = tapOf<Tap>(m.first.run(in, dampedFrequency(f, limits, u), 1.0f - u));
  const float b = tapOf<Tap>(m.second.run(a, dampedFrequency(f, limits, u2), 1.0f - u2));
  m.lastOutput = a + (b - a) * blendWeight(mix);
  return m.lastOutput;
}

// Driven pair: the first section runs at a quarter of the input level with
// its low memory held within ±50; the second is fixed at q = 1. g1 lowers
// the level and g2 restores it at the top of the resonance range.
struct DrivenPairGains {
  float fSecond;      // frequency of the second section, already limited
  float dampingBase;  // Resonance × 0.996
  float g1;
  float g2;
};

// Drive gains by Resonance × 20: unity up to 0.8, then the first section's
// level falls while the output gain rises.
inline constexpr float kDriveG1[22] = {1, 1, 1, 1, 1, 1, 1,     1,    1,     1,      1,
                                       1, 1, 1, 1, 1, 1, 0.75f, 0.5f, 0.25f, 0.125f, 0.125f};
inline constexpr float kDriveG2[22] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1.5f, 2.0f, 2.0f};

inline DrivenPairGains drivenPairGains(float f, float res, const float* limits) {
  return {dampedFrequency(f, limits, 0.0f), res * 0.996f, curveAt(kDriveG1, res * 20.0f),
          curveAt(kDriveG2, res * 20.0f)};
}

template <SvfTap Tap>
inline float runDrivenPair(SvfPair& m, float in, float f, const DrivenPairGains& k, float mix, const float* limits) {
  const float u = clampTo(k.dampingBase * (1.0f - levelReduction(m.lastOutput)), 0.0f, 1.0f);
  SvfTaps t = m.first.run(in * 0.25f, dampedFrequency(f, limits, u), 1.0f - u);
  m.first.low = clampTo(m.first.low, -50.0f, 50.0f);
  t.low = m.first.low;
  const float a = tapOf<Tap>(t);
  const float b = tapOf<Tap>(m.second.run(a, k.fSecond, 1.0f));
  m.lastOutput = (a + (b - a) * blendWeight(mix) * 0.98f) * k.g1;
  return m.lastOutput * 4.0f * k.g2;
}

// Two sections at q = 1 with notch taps; f must stay below about 1.23.
inline float runNotchPair(SvfPair& m, float in, float f, float mix) {
  const float a = m.first.run(in, f, 1.0f).notch;
  const float b = m.second.run(a, f, 1.0f).notch;
  return a + (b - a) * blendWeight(mix);
}

// Highest frequency coefficient of the notch pair: just above what 44.1 kHz
// reaches at its top cutoff, well inside the stable range.
inline constexpr float kNotchPairMaxF = 1.17f;

}  // namespace zv::dsp
