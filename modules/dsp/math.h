// Small numeric pieces every module needs, in one place.
//
// Host values are untrusted: NaN passes ordinary comparison clamps, and a
// float-to-int conversion of NaN or of a value beyond the integer's range is
// undefined. Every truncation and every table index goes through these.
#pragma once

#include <cstdint>
#include <limits>

namespace zv::dsp {

// v limited to [lo, hi]; NaN gives lo.
inline float clampTo(float v, float lo, float hi) { return v > lo ? (v < hi ? v : hi) : lo; }
inline double clampTo(double v, double lo, double hi) { return v > lo ? (v < hi ? v : hi) : lo; }

// v limited to [lo, hi]; NaN gives nanValue.
inline float clampOr(float v, float lo, float hi, float nanValue) { return v == v ? clampTo(v, lo, hi) : nanValue; }
inline double clampOr(double v, double lo, double hi, double nanValue) {
  return v == v ? clampTo(v, lo, hi) : nanValue;
}

inline float absOf(float v) { return v < 0.0f ? -v : v; }

inline bool isFinite(float v) { return v - v == 0.0f; }
inline bool isFinite(double v) { return v - v == 0.0; }

// Truncation toward zero into [lo, hi]; NaN gives nanValue. Safe for any
// input, infinities included.
inline int32_t truncateTo(double v, int32_t lo, int32_t hi, int32_t nanValue) {
  if (v != v) return nanValue;
  if (v <= static_cast<double>(lo)) return lo;
  if (v >= static_cast<double>(hi)) return hi;
  return static_cast<int32_t>(v);
}
inline int32_t truncateTo(double v, int32_t nanValue = 0) {
  return truncateTo(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), nanValue);
}

// The sample rate a module computes its tables and times for: the host's
// when it lies in 1 kHz..10 MHz, else 44.1 kHz. Below the range the tables
// and per-millisecond counts lose their meaning; NaN, infinities and the 0
// of a host that reports nothing fall back too.
constexpr float kFallbackSampleRate = 44100.0f;
inline float usableSampleRate(float rate) { return rate >= 1000.0f && rate <= 1.0e7f ? rate : kFallbackSampleRate; }

// Change detection: two NaNs are the same value, so a cached NaN is not
// "changed" again on every look and echo loops settle.
inline bool sameValue(float a, float b) { return a == b || (a != a && b != b); }
inline bool sameValue(double a, double b) { return a == b || (a != a && b != b); }

// History values smaller than about 1e-25 (float) become exactly 0, so a
// decaying tail never turns denormal.
template <class Real>
inline Real flushTiny(Real v) {
  constexpr Real kTiny = static_cast<Real>(1e-18);
  return (v + kTiny) - kTiny;
}

// What a recursive memory (filter state, delay line, feedback) may hold:
// far beyond any signal (1.0 is 10 V), so ordinary values pass bit for bit,
// while a loop fed huge values or run away stays finite and a NaN becomes 0
// instead of living on in the memory after its input is finite again.
inline constexpr float kStateLimit = 1.0e6f;

template <class Real>
inline Real boundState(Real v) {
  constexpr Real kLimit = static_cast<Real>(kStateLimit);
  // Min and max first, the NaN mask beside them: no branch, and the mask
  // costs the dependency chain a single AND.
  const Real above = v > -kLimit ? v : -kLimit;
  const Real bounded = above < kLimit ? above : kLimit;
  return v == v ? bounded : Real(0);
}

// flushTiny, then boundState: the store of every recursive memory.
template <class Real>
inline Real storeState(Real v) {
  return boundState(flushTiny(v));
}

}  // namespace zv::dsp
