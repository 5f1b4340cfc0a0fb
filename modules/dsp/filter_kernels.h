// Building blocks of the filter families: ladder and high-pass stages, the
// one-pole stage, a state-variable section and the tanh-table saturators.
// Plain structs without frame types; coefficients are computed by the
// caller (usually from shared tables) and passed per call.
//
// Every recursive memory passes through flushTiny so that decaying tails
// end in exact zeros instead of denormals. Callers bound the input
// (boundState): the stages are stable, so a bounded input keeps every
// memory finite without a guard inside the feedback.
#pragma once

#include <cstdint>

#include "modules/dsp/math.h"

namespace zv::dsp {

// Resonance as both filters' resonant modes read it: NaN as 0, limited to
// -1..1.1.
inline float usableResonance(float r) { return clampOr(r, -1.0f, 1.1f, 0.0f); }

// Linear interpolation in a short curve at a fractional position, clamped
// into the curve (NaN reads entry 0).
template <int32_t N>
inline float curveAt(const float (&curve)[N], float position) {
  const float p = clampTo(position, 0.0f, static_cast<float>(N - 1));
  auto i = static_cast<int32_t>(p);
  if (i > N - 2) i = N - 2;
  const float w = p - static_cast<float>(i);
  return curve[i] + (curve[i + 1] - curve[i]) * w;
}

// Low-pass ladder stage, a bilinear one-pole: y ← (u + u_old)·p − y·k with
// p = (k + 1)/2. The pole sits at −k, so |k| < 1 keeps it stable.
struct LadderStage {
  float uOld = 0.0f;
  float y = 0.0f;
  float run(float u, float p, float k) {
    y = flushTiny((u + uOld) * p - y * k);
    uOld = u;
    return y;
  }
};

// High-pass stage: h ← (u − u_old)·ph + h·kh, ph = (kh + 1)/2; |kh| < 1.
struct HighPassStage {
  float uOld = 0.0f;
  float h = 0.0f;
  float run(float u, float ph, float kh) {
    h = flushTiny((u - uOld) * ph + h * kh);
    uOld = u;
    return h;
  }
};

// One-pole low-pass s ← s + (u − s)·g, with 0 < g < 1 from the tables.
struct OnePoleStage {
  float s = 0.0f;
  float run(float u, float g) {
    s = flushTiny(s + (u - s) * g);
    return s;
  }
  // Saturating form: input and state both pass through the shaper.
  template <class Shape>
  float runShaped(float u, float g, const Shape& shape) {
    s = flushTiny(s + (shape(u) - shape(s)) * g);
    return s;
  }
};

struct SvfTaps {
  float low;
  float high;
  float band;
  float notch;
};

// Two-integrator state-variable section: frequency coefficient f, damping
// q. Stable while f² + 2·f·q < 4 (about f < 1.23 at q = 1).
struct SvfSection {
  float low = 0.0f;
  float band = 0.0f;
  SvfTaps run(float in, float f, float q) {
    low = flushTiny(low + f * band);
    const float high = in - low - q * band;
    band = flushTiny(band + f * high);
    return {low, high, band, high + low};
  }
};

enum class SvfTap { Low, High, Band, Notch };

template <SvfTap Tap>
inline float tapOf(const SvfTaps& t) {
  if constexpr (Tap == SvfTap::Low)
    return t.low;
  else if constexpr (Tap == SvfTap::High)
    return t.high;
  else if constexpr (Tap == SvfTap::Band)
    return t.band;
  else
    return t.notch;
}

// Second-order all-pass on two internal values; a1 and a2 from the pole
// radius and angle (a1 = 2·r·cos θ, a2 = r²).
struct AllPass2 {
  float w1 = 0.0f;
  float w2 = 0.0f;
  float run(float x, float a1, float a2) {
    const float t = w1 * a1;
    const float v = flushTiny(x + t - a2 * w2);
    const float out = a2 * v + w2 - t;
    w2 = w1;
    w1 = v;
    return out;
  }
};

// tanh over −1..1 from a table of 20001 entries (+ spare) in steps of 1e-4.
class TanhTable {
 public:
  TanhTable() = default;
  explicit TanhTable(const float* data) : data_(data) {}
  // T(x) for x clamped to −1..1.
  float operator()(float x) const {
    const float p = (clampTo(x, -1.0f, 1.0f) + 1.0f) * 10000.0f;
    auto i = static_cast<int32_t>(p);
    if (i > 20000) i = 20000;
    const float w = p - static_cast<float>(i);
    return data_[i] + (data_[i + 1] - data_[i]) * w;
  }
  // 4·T(u/4): a soft limit near ±4·tanh(1).
  float soft4(float u) const { return 4.0f * (*this)(clampTo(u, -4.0f, 4.0f) * 0.25f); }
  // 1.5·T(v/1.5) for v clamped to ±1.5.
  float soft15(float v) const { return 1.5f * (*this)(clampTo(v, -1.5f, 1.5f) * 0.6666667f); }
  // Blend of x and its shaped value by |x|: near-linear for small signals,
  // fully shaped at ±1 and beyond (where it gives T(±1)).
  float blended(float x) const {
    const float c = clampTo(x, -1.0f, 1.0f);
    return ((*this)(c)-x) * absOf(c) + x;
  }

 private:
  const float* data_ = nullptr;
};

}  // namespace zv::dsp
