// Small numeric pieces every module needs, in one place.
//
// Host values are untrusted: NaN passes ordinary comparison clamps, and a
// float-to-int conversion of NaN or of a value beyond the integer's range is
// undefined. Every truncation and every table index goes through these.
#pragma once

#include <cstdint>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// What may enter a recursive memory (filter state, resampler history,
// delay line): far beyond any signal (1.0 is 10 V), so ordinary values pass
// bit for bit, while a huge or infinite value is held at the limit and a
// NaN becomes 0. A stable filter fed only such values stays finite and
// forgets a bad stretch once its input is ordinary again; a loop whose gain
// can pass 1 bounds what it writes back.
//
// Guards sit on the way in, off the recursive path: a clamp inside a
// one-pole's own feedback lengthens the chain every sample waits for, and
// an eighth-order history clamped at a limit can hold itself there.
inline constexpr float kStateLimit = 1.0e6f;

// The same in plain selects, for targets without SSE2.
template <class Real>
inline Real boundStatePortable(Real v) {
  constexpr Real kLimit = static_cast<Real>(kStateLimit);
  const Real above = v > -kLimit ? v : -kLimit;
  const Real bounded = above < kLimit ? above : kLimit;
  return v == v ? bounded : Real(0);
}

// Compilers turn the selects into branches and moves through integer
// registers; with SSE2 it is the four instructions meant. MAXSS and MAXSD
// return their second operand for a NaN, which the ordered mask clears.
inline float boundState(float v) {
#if defined(__SSE2__)
  const __m128 x = _mm_set1_ps(v);
  const __m128 bounded = _mm_min_ss(_mm_max_ss(x, _mm_set_ss(-kStateLimit)), _mm_set_ss(kStateLimit));
  return _mm_cvtss_f32(_mm_and_ps(bounded, _mm_cmpord_ss(x, x)));
#else
  return boundStatePortable(v);
#endif
}
inline double boundState(double v) {
#if defined(__SSE2__)
  constexpr double kLimit = kStateLimit;
  const __m128d x = _mm_set1_pd(v);
  const __m128d bounded = _mm_min_sd(_mm_max_sd(x, _mm_set_sd(-kLimit)), _mm_set_sd(kLimit));
  return _mm_cvtsd_f64(_mm_and_pd(bounded, _mm_cmpord_sd(x, x)));
#else
  return boundStatePortable(v);
#endif
}

// flushTiny, then boundState: for a loop's own write-back.
template <class Real>
inline Real storeState(Real v) {
  return boundState(flushTiny(v));
}

}  // namespace zv::dsp
