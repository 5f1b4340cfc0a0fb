// The scope's capture arithmetic, apart from the module glue: how long a
// capture is, how a sample is packed into a signed byte, and where the
// drawing puts a packed sample.
#pragma once

#include <cstdint>

#include "modules/dsp/math.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv::gui {

constexpr int32_t kCaptureBytes = 4800;
constexpr int32_t kShortestCapture = 11;

// Time × 10 ms in samples, limited to 11 ... 4800; NaN gives the shortest.
// Limited before the conversion: Time 1e7 would not fit an int.
inline int32_t captureLength(float time, float samplesPerMillisecond) {
  const float samples = time * samplesPerMillisecond * 10.0f;
  return dsp::truncateTo(samples, kShortestCapture, kCaptureBytes, kShortestCapture);
}

// x × 127 limited to ±127, truncated toward zero; NaN packs as 0.
inline int8_t packSample(float x) {
  const float v = dsp::clampOr(x * 127.0f, -127.0f, 127.0f, 0.0f);
  return static_cast<int8_t>(static_cast<int32_t>(v));
}

// packSample over a stretch. Left to the compiler, the clamps become
// mask-and-or chains and the narrowing a shuffle network, four times slower
// than SSE2 doing sixteen at a time: NaN masked to 0, max then min (exactly
// the clamps above once NaN is gone), truncation, and two saturating packs
// that find nothing left to saturate.
inline void packSamples(const float* in, int8_t* out, int32_t count) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128 limit = _mm_set1_ps(127.0f);
  const __m128 lowest = _mm_set1_ps(-127.0f);
  auto four = [&](const float* x) {
    __m128 v = _mm_mul_ps(_mm_loadu_ps(x), limit);
    v = _mm_and_ps(v, _mm_cmpord_ps(v, v));
    v = _mm_min_ps(_mm_max_ps(v, lowest), limit);
    return _mm_cvttps_epi32(v);
  };
  for (; i + 16 <= count; i += 16) {
    const __m128i first = _mm_packs_epi32(four(in + i), four(in + i + 4));
    const __m128i second = _mm_packs_epi32(four(in + i + 8), four(in + i + 12));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packs_epi16(first, second));
  }
#endif
  for (; i < count; ++i) out[i] = packSample(in[i]);
}

// Index of the first sample that passes a test, or count when none does.
// Whole chunks are tested without branching first, so that waiting for a
// crossing runs at vector speed instead of one branch per sample.
template <class Test>
inline int32_t findFirst(const float* x, int32_t count, Test test) {
  constexpr int32_t kChunk = 32;
  int32_t i = 0;
  for (; i + kChunk <= count; i += kChunk) {
    int32_t any = 0;
    for (int32_t j = 0; j < kChunk; ++j) any |= test(x[i + j]) ? 1 : 0;
    if (any != 0) break;
  }
  for (; i < count; ++i) {
    if (test(x[i])) return i;
  }
  return count;
}

inline int32_t firstBelowZero(const float* x, int32_t count) {
  return findFirst(x, count, [](float v) { return v < 0.0f; });
}
inline int32_t firstAboveZero(const float* x, int32_t count) {
  return findFirst(x, count, [](float v) { return v > 0.0f; });
}

// Row of a packed sample: centre minus the sample scaled so that 127 reaches
// the top. In 64 bits and limited, whatever the rectangle's size.
inline int32_t sampleRow(int32_t centre, int8_t sample, float scale) {
  const int64_t offset = dsp::truncateTo(static_cast<double>(sample * scale), 0);
  const int64_t row = int64_t{centre} - offset;
  return static_cast<int32_t>(row < INT32_MIN ? INT32_MIN : (row > INT32_MAX ? INT32_MAX : row));
}

// Column of point i of n across a width, computed in 64 bits.
inline int32_t sampleColumn(int32_t i, int32_t width, int32_t points) {
  return static_cast<int32_t>(int64_t{i} * width / points);
}

}  // namespace zv::gui
