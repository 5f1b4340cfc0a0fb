// 2^x in single precision for conversions made once per sample (a pitch
// input that streams), where the exact exp2 of portable_math.h costs more
// than the rest of a voice's sample.
//
// x = k + f with k the nearest whole number and f in [-0.5, 0.5]: 2^f from
// a degree-5 polynomial with a constant term of exactly 1 (so whole octaves
// are exact), fitted at the Chebyshev nodes of (2^f - 1) / f, then 2^k
// added into the exponent bits. Within 0.3 ppm of the correctly rounded
// float for every x in [-126, 127]; x is held to that range first (NaN
// reads as -126), so the result is always a normal float. IEEE +, -, × and int conversions only:
// the same bits on every target, and the four-lane SSE2 form below gives
// exactly the bits of the scalar one.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

namespace zv::dsp {

namespace fastexp2 {

constexpr float kLowest = -126.0f;
constexpr float kHighest = 127.0f;
constexpr float kC1 = 0.6931471824645996f;
constexpr float kC2 = 0.2402234971523285f;
constexpr float kC3 = 0.055503811687231064f;
constexpr float kC4 = 0.00966636836528778f;
constexpr float kC5 = 0.0013381302123889327f;
// Added to |x| < 2^22, leaves x rounded to a whole number in the low
// mantissa bits: 1.5 × 2^23.
constexpr float kRounder = 12582912.0f;
constexpr int32_t kRounderBits = 0x4B400000;

}  // namespace fastexp2

inline float fastExp2(float x) {
  using namespace fastexp2;
  // As maxps then minps: NaN takes the lower bound.
  x = x > kLowest ? x : kLowest;
  x = x < kHighest ? x : kHighest;
  const float shifted = x + kRounder;
  const float f = x - (shifted - kRounder);
  const int32_t k = std::bit_cast<int32_t>(shifted) - kRounderBits;
  float p = kC5;
  p = p * f + kC4;
  p = p * f + kC3;
  p = p * f + kC2;
  p = p * f + kC1;
  p = p * f + 1.0f;
  return std::bit_cast<float>(std::bit_cast<int32_t>(p) + k * (1 << 23));
}

#if defined(__SSE2__)
// The four-lane form in two halves, so that a loop can reduce the next four
// while it finishes these (the whole chain is long for an out-of-order core).
struct FastExp2Reduced {
  __m128 f;
  __m128i k;
};

inline FastExp2Reduced fastExp2Reduce(__m128 x) {
  using namespace fastexp2;
  x = _mm_max_ps(x, _mm_set1_ps(kLowest));
  x = _mm_min_ps(x, _mm_set1_ps(kHighest));
  const __m128 shifted = _mm_add_ps(x, _mm_set1_ps(kRounder));
  const __m128 f = _mm_sub_ps(x, _mm_sub_ps(shifted, _mm_set1_ps(kRounder)));
  return {f, _mm_sub_epi32(_mm_castps_si128(shifted), _mm_set1_epi32(kRounderBits))};
}

inline __m128 fastExp2Finish(FastExp2Reduced r) {
  using namespace fastexp2;
  __m128 p = _mm_set1_ps(kC5);
  p = _mm_add_ps(_mm_mul_ps(p, r.f), _mm_set1_ps(kC4));
  p = _mm_add_ps(_mm_mul_ps(p, r.f), _mm_set1_ps(kC3));
  p = _mm_add_ps(_mm_mul_ps(p, r.f), _mm_set1_ps(kC2));
  p = _mm_add_ps(_mm_mul_ps(p, r.f), _mm_set1_ps(kC1));
  p = _mm_add_ps(_mm_mul_ps(p, r.f), _mm_set1_ps(1.0f));
  return _mm_castsi128_ps(_mm_add_epi32(_mm_castps_si128(p), _mm_slli_epi32(r.k, 23)));
}

inline __m128 fastExp2(__m128 x) { return fastExp2Finish(fastExp2Reduce(x)); }
#endif

// The same eight lanes wide, in functions built for AVX2 whatever the
// target: callers check that the processor has it. The same operations in
// the same order, so the same bits.
#if defined(__SSE2__) && defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ZV_FAST_EXP2_EIGHT 1
#define ZV_AVX2 __attribute__((target("avx2")))

struct FastExp2ReducedEight {
  __m256 f;
  __m256i k;
};

ZV_AVX2 inline FastExp2ReducedEight fastExp2Reduce(__m256 x) {
  using namespace fastexp2;
  x = _mm256_max_ps(x, _mm256_set1_ps(kLowest));
  x = _mm256_min_ps(x, _mm256_set1_ps(kHighest));
  const __m256 shifted = _mm256_add_ps(x, _mm256_set1_ps(kRounder));
  const __m256 f = _mm256_sub_ps(x, _mm256_sub_ps(shifted, _mm256_set1_ps(kRounder)));
  return {f, _mm256_sub_epi32(_mm256_castps_si256(shifted), _mm256_set1_epi32(kRounderBits))};
}

ZV_AVX2 inline __m256 fastExp2Finish(FastExp2ReducedEight r) {
  using namespace fastexp2;
  __m256 p = _mm256_set1_ps(kC5);
  p = _mm256_add_ps(_mm256_mul_ps(p, r.f), _mm256_set1_ps(kC4));
  p = _mm256_add_ps(_mm256_mul_ps(p, r.f), _mm256_set1_ps(kC3));
  p = _mm256_add_ps(_mm256_mul_ps(p, r.f), _mm256_set1_ps(kC2));
  p = _mm256_add_ps(_mm256_mul_ps(p, r.f), _mm256_set1_ps(kC1));
  p = _mm256_add_ps(_mm256_mul_ps(p, r.f), _mm256_set1_ps(1.0f));
  return _mm256_castsi256_ps(_mm256_add_epi32(_mm256_castps_si256(p), _mm256_slli_epi32(r.k, 23)));
}
#else
#define ZV_FAST_EXP2_EIGHT 0
#endif

}  // namespace zv::dsp
