// One playing SoundFont zone: a 16-bit sample (or a linked stereo pair)
// read with an 8.24 fixed-point phase, looped or played to its end, and
// mixed into a left and a right buffer.
//
// Positions are sample indices into the bank's data. They are clamped when
// the voice is set up (0 <= loop start < loop end <= sample end <= data
// length), so every read lies inside the data or its zero padding: the
// interpolators touch 3 samples before and 4 after the read position.
// Output scale: a full-scale sample of 32767 reads as 32767 / 65536.
#pragma once

#include <cmath>
#include <cstdint>

#include "modules/dsp/portable_math.h"
#include "modules/sampler/sinc_table.h"
#include "modules/sampler/soundfont_bank.h"

namespace zv::sampler {

// Zero samples read by finished voices; the voice points 8 samples in.
extern const int16_t kSilentSamples[16];

struct SampleVoice {
  const int16_t* data = kSilentSamples + 8;
  int32_t position = 0;
  int32_t partnerOffset = 0;  // partner sample start minus primary start
  uint32_t increment = 0;     // 8.24 samples per output sample
  uint32_t fraction = 0;      // low 24 bits used
  int32_t loopStart = 0;
  int32_t loopEnd = 0;
  int32_t sampleEnd = 0;
  int32_t boundary = 0;  // the smaller of loop end and sample end
  uint8_t loopMode = 0;  // 1 and 3 loop; 0 and 2 play once
  bool stereo = false;
  bool fresh = true;  // the next output reads the start position unstepped
  bool finished = false;
  float basePitch = 0.5f;
  float pitchScale = 10.0f;
  float rateRatio = 1.0f;
  float leftGain = 0.0f;
  float rightGain = 0.0f;
};

// Fills a voice for a zone of `samples` (count points, padded as a bank's
// are). The partner is the primary header's linked sample, or null. False
// when the zone cannot sound: a ROM or broken sample, a sample rate of 0,
// nothing left to play after the offsets. Positions are clamped into the
// data; a loop without length, and loop mode 2, play once; a loop is cut at
// the sample end; a partner whose reads would leave the data is not played.
bool setUpSampleVoice(const ZoneRecord& zone, const SampleHeader* primary, const SampleHeader* partner,
                      const int16_t* samples, int32_t count, int32_t key, float hostRate, SampleVoice& v);

// Pitch (0.5 = the voice's base pitch at scale 10, 1/120 per semitone) to an
// 8.24 increment, clamped so that one step can never overflow the phase
// (at most 255 samples); NaN gives 0.
inline uint32_t voiceIncrement(const SampleVoice& v, float pitch) {
  const float octaves = (pitch - v.basePitch) * v.pitchScale;
  const auto ratio = static_cast<float>(zv::dsp::exp2(static_cast<double>(octaves)));
  const float increment = ratio * v.rateRatio * 16777216.0f;
  if (!(increment > 0.0f)) return 0;
  if (increment >= 4278190080.0f) return 0xFF000000u;
  return static_cast<uint32_t>(increment);
}

inline void finishVoice(SampleVoice& v) {
  v.data = kSilentSamples + 8;
  v.position = 0;
  v.partnerOffset = 0;
  v.loopStart = 0;
  v.loopEnd = 4;
  v.sampleEnd = 4;
  v.boundary = 4;
  v.increment = 0;
  v.finished = true;
}

// Called once the position reached the boundary.
inline void crossBoundary(SampleVoice& v, bool gate) {
  if ((v.loopMode & 1) != 0 && (v.loopMode != 3 || gate)) {
    v.position = v.loopStart + (v.position - v.loopEnd) % (v.loopEnd - v.loopStart);
    return;
  }
  v.boundary = v.sampleEnd;
  if (v.position < v.sampleEnd) return;
  finishVoice(v);
}

inline void stepVoice(SampleVoice& v, uint32_t increment, bool gate) {
  v.fraction += increment;
  if (v.fraction > 0xFFFFFFu) {
    v.position += static_cast<int32_t>(v.fraction >> 24);
    v.fraction &= 0xFFFFFFu;
    if (v.position >= v.boundary) crossBoundary(v, gate);
  }
}

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

// Adds n samples of one voice to left and right. Tracking voices follow
// pitch[i] + modulation[i] per sample; fixed ones keep their increment.
template <int32_t Interpolation, bool Tracking, bool Stereo>
void renderVoice(SampleVoice& v, float* left, float* right, int32_t n, const float* pitch, const float* modulation,
                 bool gate) {
  using Reader = SampleReader<Interpolation>;
  const float* taps = Interpolation == INTERP_SINC ? SincTable::instance().row(0) : nullptr;
  int32_t i = 0;
  if (v.fresh && n > 0) {
    // The note's first output reads the start position whatever the increment.
    v.fresh = false;
    const float x = Reader::read(v.data + v.position, v.fraction, taps);
    if constexpr (Stereo) {
      left[0] += Reader::read(v.data + v.position + v.partnerOffset, v.fraction, taps);
      right[0] += x;
    } else {
      left[0] += v.leftGain * x;
      right[0] += v.rightGain * x;
    }
    i = 1;
  }
  for (; i < n; ++i) {
    uint32_t increment = v.increment;
    if constexpr (Tracking) increment = voiceIncrement(v, pitch[i] + modulation[i]);
    stepVoice(v, increment, gate);
    const float x = Reader::read(v.data + v.position, v.fraction, taps);
    if constexpr (Stereo) {
      left[i] += Reader::read(v.data + v.position + v.partnerOffset, v.fraction, taps);
      right[i] += x;
    } else {
      left[i] += v.leftGain * x;
      right[i] += v.rightGain * x;
    }
  }
}

}  // namespace zv::sampler
