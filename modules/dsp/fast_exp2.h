// 2^x in single precision for conversions made once per sample (a pitch
// input that streams), where the exact exp2 of portable_math.h costs more
// than the rest of a voice's sample.
//
// x = k + f with k = floor(x) and f in [0, 1): 2^f from a degree-5
// polynomial with a constant term of exactly 1 (so whole octaves are exact),
// fitted at the Chebyshev nodes of (2^f - 1) / f, then 2^k added into the
// exponent bits. Within 0.3 ppm of the correctly rounded float for every x
// in [-126, 127]; x is held to that range first (NaN reads as -126), so the
// result is always a normal float. IEEE +, -, × and int conversions only:
// the same bits on every target, and the four-lane SSE2 form below gives
// exactly the bits of the scalar one.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv::dsp {

namespace fastexp2 {

constexpr float kLowest = -126.0f;
constexpr float kHighest = 127.0f;
constexpr float kC1 = 0.6931475400924683f;
constexpr float kC2 = 0.24020719528198242f;
constexpr float kC3 = 0.05565705522894859f;
constexpr float kC4 = 0.009199387393891811f;
constexpr float kC5 = 0.0017883687978610396f;

}  // namespace fastexp2

inline float fastExp2(float x) {
  using namespace fastexp2;
  // As maxps then minps: NaN takes the lower bound.
  x = x > kLowest ? x : kLowest;
  x = x < kHighest ? x : kHighest;
  auto k = static_cast<int32_t>(x);
  if (static_cast<float>(k) > x) k -= 1;
  const float f = x - static_cast<float>(k);
  float p = kC5;
  p = p * f + kC4;
  p = p * f + kC3;
  p = p * f + kC2;
  p = p * f + kC1;
  p = p * f + 1.0f;
  return std::bit_cast<float>(std::bit_cast<int32_t>(p) + k * (1 << 23));
}

#if defined(__SSE2__)
inline __m128 fastExp2(__m128 x) {
  using namespace fastexp2;
  x = _mm_max_ps(x, _mm_set1_ps(kLowest));
  x = _mm_min_ps(x, _mm_set1_ps(kHighest));
  __m128i k = _mm_cvttps_epi32(x);
  const __m128 truncated = _mm_cvtepi32_ps(k);
  // Where truncation rounded up (negative x), one less: the mask is -1.
  k = _mm_add_epi32(k, _mm_castps_si128(_mm_cmpgt_ps(truncated, x)));
  const __m128 f = _mm_sub_ps(x, _mm_cvtepi32_ps(k));
  __m128 p = _mm_set1_ps(kC5);
  p = _mm_add_ps(_mm_mul_ps(p, f), _mm_set1_ps(kC4));
  p = _mm_add_ps(_mm_mul_ps(p, f), _mm_set1_ps(kC3));
  p = _mm_add_ps(_mm_mul_ps(p, f), _mm_set1_ps(kC2));
  p = _mm_add_ps(_mm_mul_ps(p, f), _mm_set1_ps(kC1));
  p = _mm_add_ps(_mm_mul_ps(p, f), _mm_set1_ps(1.0f));
  return _mm_castsi128_ps(_mm_add_epi32(_mm_castps_si128(p), _mm_slli_epi32(k, 23)));
}
#endif

}  // namespace zv::dsp
