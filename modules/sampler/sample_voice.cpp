#include "modules/sampler/sample_voice.h"

#include <algorithm>
#include <utility>

#include "modules/dsp/portable_math.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv::sampler {

const int16_t kSilentSamples[16] = {};

namespace {

int32_t clampPosition(int64_t position, int32_t count) {
  return static_cast<int32_t>(std::clamp<int64_t>(position, 0, count));
}

}  // namespace

void stepClear(int32_t p, uint32_t f, uint32_t increment, int32_t n, int32_t* position, uint32_t* fraction) {
  uint64_t phase = static_cast<uint64_t>(f) + increment;
  int32_t i = 0;
#if defined(__SSE2__)
  // The phases of four steps in two pairs of 64-bit lanes; each output is
  // the low half of phase >> 24 (plus p) and of phase.
  const auto step = static_cast<int64_t>(increment);
  __m128i low = _mm_set_epi64x(static_cast<int64_t>(phase) + step, static_cast<int64_t>(phase));
  __m128i high = _mm_set_epi64x(static_cast<int64_t>(phase) + 3 * step, static_cast<int64_t>(phase) + 2 * step);
  const __m128i four = _mm_set1_epi64x(4 * step);
  const __m128i start = _mm_set1_epi32(p);
  const __m128i mask = _mm_set1_epi32(0xFFFFFF);
  auto lowHalves = [](__m128i a, __m128i b) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
  };
  for (; i + 4 <= n; i += 4) {
    const __m128i whole = lowHalves(_mm_srli_epi64(low, 24), _mm_srli_epi64(high, 24));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(position + i), _mm_add_epi32(whole, start));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(fraction + i), _mm_and_si128(lowHalves(low, high), mask));
    low = _mm_add_epi64(low, four);
    high = _mm_add_epi64(high, four);
  }
  phase += static_cast<uint64_t>(increment) * static_cast<uint32_t>(i);
#endif
  for (; i < n; ++i) {
    position[i] = p + static_cast<int32_t>(phase >> 24);
    fraction[i] = static_cast<uint32_t>(phase) & 0xFFFFFFu;
    phase += increment;
  }
}

bool stepClear(int32_t p, uint32_t f, const uint32_t* increments, int32_t n, int32_t* position, uint32_t* fraction) {
  if (n > 64) return false;
  // Whole samples and fractions summed apart: neither sum can overflow.
  int32_t whole = p;
  uint32_t parts = f;
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128i mask = _mm_set1_epi32(0xFFFFFF);
  auto prefixSums = [](__m128i x) {
    x = _mm_add_epi32(x, _mm_slli_si128(x, 4));
    return _mm_add_epi32(x, _mm_slli_si128(x, 8));
  };
  __m128i wholeSums = _mm_set1_epi32(whole);
  __m128i partSums = _mm_set1_epi32(static_cast<int32_t>(parts));
  for (; i + 4 <= n; i += 4) {
    const __m128i step = _mm_loadu_si128(reinterpret_cast<const __m128i*>(increments + i));
    wholeSums = _mm_add_epi32(wholeSums, prefixSums(_mm_srli_epi32(step, 24)));
    partSums = _mm_add_epi32(partSums, prefixSums(_mm_and_si128(step, mask)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(position + i), _mm_add_epi32(wholeSums, _mm_srli_epi32(partSums, 24)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(fraction + i), _mm_and_si128(partSums, mask));
    wholeSums = _mm_shuffle_epi32(wholeSums, _MM_SHUFFLE(3, 3, 3, 3));
    partSums = _mm_shuffle_epi32(partSums, _MM_SHUFFLE(3, 3, 3, 3));
  }
  whole = _mm_cvtsi128_si32(wholeSums);
  parts = static_cast<uint32_t>(_mm_cvtsi128_si32(partSums));
#endif
  for (; i < n; ++i) {
    whole += static_cast<int32_t>(increments[i] >> 24);
    parts += increments[i] & 0xFFFFFFu;
    position[i] = whole + static_cast<int32_t>(parts >> 24);
    fraction[i] = parts & 0xFFFFFFu;
  }
  return true;
}

namespace {

void trackingIncrementsFour(const SampleVoice& v, const float* pitch, const float* modulation, int32_t n,
                            uint32_t* out) {
  int32_t i = 0;
#if defined(__SSE2__)
  const __m128 base = _mm_set1_ps(v.basePitch);
  const __m128 scale = _mm_set1_ps(v.pitchScale);
  const __m128 rate = _mm_set1_ps(v.rateRatio * 16777216.0f);
  const __m128 highest = _mm_set1_ps(4278190080.0f);
  const __m128 half = _mm_set1_ps(2147483648.0f);
  auto reduce = [&](int32_t at) {
    const __m128 p = _mm_add_ps(_mm_loadu_ps(pitch + at), _mm_loadu_ps(modulation + at));
    return zv::dsp::fastExp2Reduce(_mm_mul_ps(_mm_sub_ps(p, base), scale));
  };
  auto finish = [&](zv::dsp::FastExp2Reduced reduced, int32_t at) {
    const __m128 ratio = zv::dsp::fastExp2Finish(reduced);
    // Never NaN nor negative here, so clampIncrement is the upper limit
    // and an unsigned truncation: signed above 2^31 after taking 2^31 off.
    const __m128 increment = _mm_min_ps(_mm_mul_ps(ratio, rate), highest);
    const __m128 high = _mm_cmpge_ps(increment, half);
    const __m128i truncated = _mm_cvttps_epi32(_mm_sub_ps(increment, _mm_and_ps(high, half)));
    const __m128i top = _mm_and_si128(_mm_castps_si128(high), _mm_set1_epi32(static_cast<int32_t>(0x80000000u)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm_xor_si128(truncated, top));
  };
  // One four reduced ahead of the one being finished: the whole chain of a
  // four is too long for the out-of-order window to overlap enough of them.
  if (n >= 4) {
    zv::dsp::FastExp2Reduced reduced = reduce(0);
    for (; i + 8 <= n; i += 4) {
      const zv::dsp::FastExp2Reduced next = reduce(i + 4);
      finish(reduced, i);
      reduced = next;
    }
    finish(reduced, i);
    i += 4;
  }
#endif
  for (; i < n; ++i) out[i] = trackingIncrement(v, pitch[i] + modulation[i]);
}

#if ZV_FAST_EXP2_EIGHT
// The four-lane steps above, eight lanes wide.
ZV_AVX2 inline zv::dsp::FastExp2ReducedEight reduceEight(const float* pitch, const float* modulation, __m256 base,
                                                         __m256 scale) {
  const __m256 p = _mm256_add_ps(_mm256_loadu_ps(pitch), _mm256_loadu_ps(modulation));
  return zv::dsp::fastExp2Reduce(_mm256_mul_ps(_mm256_sub_ps(p, base), scale));
}

ZV_AVX2 inline void finishEight(zv::dsp::FastExp2ReducedEight r, __m256 rate, uint32_t* out) {
  const __m256 ratio = zv::dsp::fastExp2Finish(r);
  const __m256 half = _mm256_set1_ps(2147483648.0f);
  const __m256 increment = _mm256_min_ps(_mm256_mul_ps(ratio, rate), _mm256_set1_ps(4278190080.0f));
  const __m256 high = _mm256_cmp_ps(increment, half, _CMP_GE_OQ);
  const __m256i truncated = _mm256_cvttps_epi32(_mm256_sub_ps(increment, _mm256_and_ps(high, half)));
  const __m256i top = _mm256_and_si256(_mm256_castps_si256(high), _mm256_set1_epi32(static_cast<int32_t>(0x80000000u)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_xor_si256(truncated, top));
}

ZV_AVX2 void trackingIncrementsEight(const SampleVoice& v, const float* pitch, const float* modulation, int32_t n,
                                     uint32_t* out) {
  const __m256 base = _mm256_set1_ps(v.basePitch);
  const __m256 scale = _mm256_set1_ps(v.pitchScale);
  const __m256 rate = _mm256_set1_ps(v.rateRatio * 16777216.0f);
  int32_t i = 0;
  if (n >= 8) {
    zv::dsp::FastExp2ReducedEight reduced = reduceEight(pitch, modulation, base, scale);
    for (; i + 16 <= n; i += 8) {
      const zv::dsp::FastExp2ReducedEight next = reduceEight(pitch + i + 8, modulation + i + 8, base, scale);
      finishEight(reduced, rate, out + i);
      reduced = next;
    }
    finishEight(reduced, rate, out + i);
    i += 8;
  }
  trackingIncrementsFour(v, pitch + i, modulation + i, n - i, out + i);
}

TrackingIncrementsForm chooseTrackingIncrements() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? &trackingIncrementsEight : &trackingIncrementsFour;
}
#else
TrackingIncrementsForm chooseTrackingIncrements() { return &trackingIncrementsFour; }
#endif

// Chosen as the library loads, before any module exists.
const TrackingIncrementsForm kTrackingIncrements = chooseTrackingIncrements();

}  // namespace

void trackingIncrements(const SampleVoice& v, const float* pitch, const float* modulation, int32_t n, uint32_t* out) {
  kTrackingIncrements(v, pitch, modulation, n, out);
}

std::vector<TrackingIncrementsForm> trackingIncrementsForms() {
  std::vector<TrackingIncrementsForm> forms = {&trackingIncrementsFour};
  if (kTrackingIncrements != &trackingIncrementsFour) forms.push_back(kTrackingIncrements);
  return forms;
}

bool setUpSampleVoice(const ZoneRecord& zone, const SampleHeader* primary, const SampleHeader* partner,
                      const int16_t* samples, int32_t count, int32_t key, float hostRate, SampleVoice& v) {
  if (samples == nullptr || count <= 0 || !(hostRate > 0.0f)) return false;
  if (primary == nullptr || !primary->valid || (primary->type & 0x8000) != 0) return false;
  if ((primary->type & 1) != 0) partner = nullptr;
  if (partner != nullptr && (!partner->valid || (partner->type & 0x8000) != 0)) partner = nullptr;
  // Right on Right, left on Left, whichever of the pair matched.
  if (partner != nullptr && (primary->type & 4) != 0) std::swap(primary, partner);
  const SampleHeader& h = *primary;
  // Without a rate the phase never moves: the voice would hold forever.
  if (h.sampleRate == 0) return false;
  auto offset = [&](int32_t fine, int32_t coarse) {
    return static_cast<int64_t>(zone.generator(fine)) + static_cast<int64_t>(zone.generator(coarse)) * 32768;
  };
  const int32_t start = clampPosition(h.start + offset(GEN_START_OFFSET, GEN_START_COARSE), count);
  const int32_t sampleEnd = clampPosition(h.end + offset(GEN_END_OFFSET, GEN_END_COARSE), count);
  if (start >= sampleEnd) return false;
  int32_t loopStart = clampPosition(h.loopStart + offset(GEN_LOOP_START_OFFSET, GEN_LOOP_START_COARSE), count);
  int32_t loopEnd = clampPosition(h.loopEnd + offset(GEN_LOOP_END_OFFSET, GEN_LOOP_END_COARSE), count);
  uint8_t loopMode = static_cast<uint8_t>(zone.generator(GEN_SAMPLE_MODES) & 3);
  // Mode 2 is "no loop"; a loop is kept inside the sample and must have a length.
  loopEnd = std::min(loopEnd, sampleEnd);
  if ((loopMode & 1) == 0 || loopEnd <= loopStart) {
    loopMode = 0;
    loopEnd = sampleEnd;
  }

  v.data = samples;
  v.position = start;
  v.fraction = 0;
  v.fresh = true;
  v.finished = false;
  v.loopStart = loopStart;
  v.loopEnd = loopEnd;
  v.sampleEnd = sampleEnd;
  v.boundary = std::min(loopEnd, sampleEnd);
  v.loopMode = loopMode;
  v.stereo = false;
  v.partnerOffset = 0;
  if (partner != nullptr) {
    const int64_t partnerOffset = static_cast<int64_t>(partner->start) - h.start;
    const int64_t lowest = std::min(start, loopStart) + partnerOffset;
    // A partner whose reads would leave the data is not played.
    if (lowest >= 0 && sampleEnd + partnerOffset <= count) {
      v.stereo = true;
      v.partnerOffset = static_cast<int32_t>(partnerOffset);
    }
  }

  const float pan = std::clamp(static_cast<float>(zone.generator(GEN_PAN)), -500.0f, 500.0f);
  const float x = (pan * 0.001f + 0.5f) * 1.5707964f;
  v.rightGain = static_cast<float>(zv::dsp::sin(x)) + 0.000001f;
  v.leftGain = static_cast<float>(zv::dsp::cos(x)) + 0.000001f;

  int32_t root = h.rootKey;
  if (zone.generator(GEN_ROOT_KEY) >= 0) root = zone.generator(GEN_ROOT_KEY);
  const auto correction = static_cast<float>(h.correction);
  const auto coarse = static_cast<float>(zone.generator(GEN_COARSE_TUNE));
  const auto fine = static_cast<float>(zone.generator(GEN_FINE_TUNE));
  v.pitchScale = static_cast<float>(zone.generator(GEN_SCALE_TUNING)) * 0.1f;
  v.basePitch = static_cast<float>(key - 69) * 0.008333334f + 0.5f -
                ((fine + correction) * 0.01f + coarse + static_cast<float>(key - root)) * 0.008333334f;
  v.rateRatio = static_cast<float>(h.sampleRate) / hostRate;
  return true;
}

}  // namespace zv::sampler
