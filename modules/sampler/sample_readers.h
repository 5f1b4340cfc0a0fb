// Reading 16-bit sample data at an 8.24 fixed-point position with each of
// the four interpolations, one output sample at a time (SampleReader) or a
// stretch at a time (mixStretch).
//
// A stretch is read once its positions are known (a voice steps through
// them first), so the 4-point and 8-point readers take four output samples
// per pass with SSE2: one load of each sample's neighbours, converted from
// int16 once and transposed so that each lane is one output sample. Each
// lane then does exactly the operations of the one-sample reader in the
// same order, so both give the same bits.
#pragma once

#include <cstdint>
#include <cstring>

#include "modules/sampler/sinc_table.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv::sampler {

enum SampleInterpolation : int32_t { INTERP_NONE = 0, INTERP_LINEAR = 1, INTERP_CUBIC = 2, INTERP_SINC = 3 };

template <int32_t Interpolation>
struct SampleReader;

template <>
struct SampleReader<INTERP_NONE> {
  static float read(const int16_t* s, uint32_t, const float*) { return static_cast<float>(s[0]) * (1.0f / 65536.0f); }
};

template <>
struct SampleReader<INTERP_LINEAR> {
  static float read(const int16_t* s, uint32_t f, const float*) {
    const int64_t sum = static_cast<int64_t>(0x1000000u - f) * s[0] + static_cast<int64_t>(f) * s[1];
    return static_cast<float>(sum) * (1.0f / 1099511627776.0f);
  }
};

template <>
struct SampleReader<INTERP_CUBIC> {
  static float read(const int16_t* s, uint32_t f, const float*) {
    const float t = static_cast<float>(f) * (1.0f / 16777216.0f);
    const float a3 = static_cast<float>(s[2] - s[1] - s[-1] + s[0]);
    const float a2 = static_cast<float>(s[-1] - s[0]) - a3;
    const float a1 = static_cast<float>(s[1] - s[-1]);
    const float a0 = static_cast<float>(s[0]);
    return ((a2 + a3 * t) * t * t + a1 * t + a0) * (1.0f / 65536.0f);
  }
};

template <>
struct SampleReader<INTERP_SINC> {
  static float read(const int16_t* s, uint32_t f, const float* taps) {
    const uint32_t r = f >> 19;
    const float* t0 = taps + r * SincTable::kTaps;
    const float* t1 = t0 + SincTable::kTaps;
    float d0 = 0.0f, d1 = 0.0f;
    for (int32_t k = 0; k < SincTable::kTaps; ++k) {
      const auto x = static_cast<float>(s[k - 3]);
      d0 += t0[k] * x;
      d1 += t1[k] * x;
    }
    const auto b = static_cast<float>(f & 0x7FFFFu);
    return ((524288.0f - b) * d0 + b * d1) * (1.0f / 34359738368.0f);
  }
};

#if defined(__SSE2__)
namespace lanes {

// Words 0-3 and 4-7 of eight int16 as four floats each.
inline __m128 lowWords(__m128i v) { return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)); }
inline __m128 highWords(__m128i v) { return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)); }

inline __m128i loadWords4(const int16_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline __m128i loadWords8(const int16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// SampleReader<INTERP_LINEAR> per lane. The weighted sum is below 2^41,
// so doubles carry it exactly and round it to float once, as the
// conversion from the 64-bit integer does.
inline __m128 linear(const int16_t* data, const int32_t* position, __m128i fraction) {
  auto pair = [&](int32_t j) {
    int32_t both;
    std::memcpy(&both, data + position[j], 4);
    return _mm_cvtsi32_si128(both);
  };
  // s[0] and s[1] of four outputs as words, then each sign-extended.
  const __m128i words = _mm_unpacklo_epi64(_mm_unpacklo_epi32(pair(0), pair(1)), _mm_unpacklo_epi32(pair(2), pair(3)));
  const __m128i s0 = _mm_srai_epi32(_mm_slli_epi32(words, 16), 16);
  const __m128i s1 = _mm_srai_epi32(words, 16);
  const __m128i rest = _mm_sub_epi32(_mm_set1_epi32(0x1000000), fraction);
  auto half = [&](int shift) {
    auto wide = [&](__m128i v) {
      return _mm_cvtepi32_pd(shift != 0 ? _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)) : v);
    };
    return _mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(wide(rest), wide(s0)), _mm_mul_pd(wide(fraction), wide(s1))));
  };
  const __m128 sum = _mm_movelh_ps(half(0), half(1));
  return _mm_mul_ps(sum, _mm_set1_ps(1.0f / 1099511627776.0f));
}

// Four output samples at data + position[j], fraction[j]: SampleReader<INTERP_CUBIC> per lane.
inline __m128 cubic(const int16_t* data, const int32_t* position, __m128i fraction) {
  // s[-1..2] of each; after the transpose one register per neighbour.
  const __m128i a = _mm_unpacklo_epi16(loadWords4(data + position[0] - 1), loadWords4(data + position[1] - 1));
  const __m128i b = _mm_unpacklo_epi16(loadWords4(data + position[2] - 1), loadWords4(data + position[3] - 1));
  const __m128i before = _mm_unpacklo_epi32(a, b);
  const __m128i after = _mm_unpackhi_epi32(a, b);
  const __m128 sm1 = lowWords(before), s0 = highWords(before), s1 = lowWords(after), s2 = highWords(after);
  // Sums of whole numbers below 2^18: exact, as the one-sample reader's integer sums are.
  const __m128 a3 = _mm_add_ps(_mm_sub_ps(_mm_sub_ps(s2, s1), sm1), s0);
  const __m128 a2 = _mm_sub_ps(_mm_sub_ps(sm1, s0), a3);
  const __m128 a1 = _mm_sub_ps(s1, sm1);
  const __m128 t = _mm_mul_ps(_mm_cvtepi32_ps(fraction), _mm_set1_ps(1.0f / 16777216.0f));
  __m128 x = _mm_mul_ps(_mm_mul_ps(_mm_add_ps(a2, _mm_mul_ps(a3, t)), t), t);
  x = _mm_add_ps(_mm_add_ps(x, _mm_mul_ps(a1, t)), s0);
  return _mm_mul_ps(x, _mm_set1_ps(1.0f / 65536.0f));
}

// Two output samples a and b of SampleReader<INTERP_SINC>, before the
// blend: lanes d0 and d1 of a, then of b. Taps come from the pair table,
// where row r holds the taps of rows r and r + 1 side by side.
inline __m128 sincSums(const int16_t* sa, const int16_t* sb, const float* pa, const float* pb) {
  const __m128i wa = loadWords8(sa - 3), wb = loadWords8(sb - 3);
  const __m128 fa[2] = {lowWords(wa), highWords(wa)};
  const __m128 fb[2] = {lowWords(wb), highWords(wb)};
  __m128 sum = _mm_setzero_ps();
  for (int32_t h = 0; h < 2; ++h) {
    // Samples: [a k, a k, b k, b k]; taps: [row k, next row k] of a, then of b.
    const __m128 low = _mm_unpacklo_ps(fa[h], fb[h]), high = _mm_unpackhi_ps(fa[h], fb[h]);
    const __m128 x[4] = {_mm_unpacklo_ps(low, low), _mm_unpackhi_ps(low, low), _mm_unpacklo_ps(high, high),
                         _mm_unpackhi_ps(high, high)};
    for (int32_t k = 0; k < 4; k += 2) {
      const __m128 ta = _mm_loadu_ps(pa + 8 * h + 2 * k), tb = _mm_loadu_ps(pb + 8 * h + 2 * k);
      sum = _mm_add_ps(sum, _mm_mul_ps(_mm_movelh_ps(ta, tb), x[k]));
      sum = _mm_add_ps(sum, _mm_mul_ps(_mm_movehl_ps(tb, ta), x[k + 1]));
    }
  }
  return sum;
}

inline __m128 sinc(const int16_t* data, const int32_t* position, const uint32_t* fraction, const float* pairs) {
  constexpr uint32_t kPairRow = 2 * SincTable::kTaps;
  const __m128 first = sincSums(data + position[0], data + position[1], pairs + (fraction[0] >> 19) * kPairRow,
                                pairs + (fraction[1] >> 19) * kPairRow);
  const __m128 second = sincSums(data + position[2], data + position[3], pairs + (fraction[2] >> 19) * kPairRow,
                                 pairs + (fraction[3] >> 19) * kPairRow);
  const __m128 d0 = _mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0));
  const __m128 d1 = _mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1));
  const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fraction));
  const __m128 blend = _mm_cvtepi32_ps(_mm_and_si128(f, _mm_set1_epi32(0x7FFFF)));
  const __m128 mixed = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(_mm_set1_ps(524288.0f), blend), d0), _mm_mul_ps(blend, d1));
  return _mm_mul_ps(mixed, _mm_set1_ps(1.0f / 34359738368.0f));
}

template <int32_t Interpolation>
inline __m128 read4(const int16_t* data, const int32_t* position, const uint32_t* fraction, const float* pairs) {
  if constexpr (Interpolation == INTERP_LINEAR) {
    return linear(data, position, _mm_loadu_si128(reinterpret_cast<const __m128i*>(fraction)));
  } else if constexpr (Interpolation == INTERP_CUBIC) {
    return cubic(data, position, _mm_loadu_si128(reinterpret_cast<const __m128i*>(fraction)));
  } else {
    return sinc(data, position, fraction, pairs);
  }
}

}  // namespace lanes
#endif

// Adds n output samples read at data + position[i] (and, for a stereo
// voice, at the partner's data + partnerOffset + position[i]) with
// fraction[i] to left and right: a mono voice through its pan gains, a
// stereo one with the partner on Left.
template <int32_t Interpolation, bool Stereo>
void mixStretch(const int16_t* data, int32_t partnerOffset, const int32_t* position, const uint32_t* fraction,
                int32_t n, float leftGain, float rightGain, float* left, float* right) {
  using Reader = SampleReader<Interpolation>;
  const float* taps = Interpolation == INTERP_SINC ? SincTable::instance().row(0) : nullptr;
  int32_t i = 0;
#if defined(__SSE2__)
  if constexpr (Interpolation != INTERP_NONE) {
    const float* pairs = Interpolation == INTERP_SINC ? SincTable::instance().pairRow(0) : nullptr;
    const __m128 leftGains = _mm_set1_ps(leftGain), rightGains = _mm_set1_ps(rightGain);
    for (; i + 4 <= n; i += 4) {
      const __m128 x = lanes::read4<Interpolation>(data, position + i, fraction + i, pairs);
      if constexpr (Stereo) {
        const __m128 p = lanes::read4<Interpolation>(data + partnerOffset, position + i, fraction + i, pairs);
        _mm_storeu_ps(left + i, _mm_add_ps(_mm_loadu_ps(left + i), p));
        _mm_storeu_ps(right + i, _mm_add_ps(_mm_loadu_ps(right + i), x));
      } else {
        _mm_storeu_ps(left + i, _mm_add_ps(_mm_loadu_ps(left + i), _mm_mul_ps(leftGains, x)));
        _mm_storeu_ps(right + i, _mm_add_ps(_mm_loadu_ps(right + i), _mm_mul_ps(rightGains, x)));
      }
    }
  }
#endif
  for (; i < n; ++i) {
    const float x = Reader::read(data + position[i], fraction[i], taps);
    if constexpr (Stereo) {
      left[i] += Reader::read(data + partnerOffset + position[i], fraction[i], taps);
      right[i] += x;
    } else {
      left[i] += leftGain * x;
      right[i] += rightGain * x;
    }
  }
}

}  // namespace zv::sampler
