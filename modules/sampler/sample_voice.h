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
#include <vector>

#include "modules/dsp/fast_exp2.h"
#include "modules/dsp/portable_math.h"
#include "modules/sampler/sample_readers.h"
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

// An increment as a float of 8.24 units to the integer, clamped so that
// one step can never overflow the phase (at most 255 samples); NaN gives 0.
inline uint32_t clampIncrement(float increment) {
  if (!(increment > 0.0f)) return 0;
  if (increment >= 4278190080.0f) return 0xFF000000u;
  return static_cast<uint32_t>(increment);
}

// Pitch (0.5 = the voice's base pitch at scale 10, 1/120 per semitone) to an
// 8.24 increment, with the exact exp2: once per note and per change.
inline uint32_t voiceIncrement(const SampleVoice& v, float pitch) {
  const float octaves = (pitch - v.basePitch) * v.pitchScale;
  const auto ratio = static_cast<float>(zv::dsp::exp2(static_cast<double>(octaves)));
  return clampIncrement(ratio * v.rateRatio * 16777216.0f);
}

// The same per sample while the pitch streams, with the fast exp2 (within a
// ppm of the exact one): trackingIncrements fills out[i] for
// pitch[i] + modulation[i], four at a time where it can.
inline uint32_t trackingIncrement(const SampleVoice& v, float pitch) {
  const float octaves = (pitch - v.basePitch) * v.pitchScale;
  return clampIncrement(zv::dsp::fastExp2(octaves) * (v.rateRatio * 16777216.0f));
}
void trackingIncrements(const SampleVoice& v, const float* pitch, const float* modulation, int32_t n, uint32_t* out);
// The forms trackingIncrements may take, all with the scalar one's bits:
// four lanes, and eight where the processor has AVX2 (chosen once, at
// load). Every form this build and processor can run, for tests.
using TrackingIncrementsForm = void (*)(const SampleVoice&, const float*, const float*, int32_t, uint32_t*);
std::vector<TrackingIncrementsForm> trackingIncrementsForms();

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

// Where n samples from position p and fraction f stepping by increment
// cannot reach the boundary: position and fraction after each step.
void stepClear(int32_t p, uint32_t f, uint32_t increment, int32_t n, int32_t* position, uint32_t* fraction);
// The same with increments[i] for step i, n at most 64 (so that the sums
// of the fractions stay below 2^31); false for a longer stretch.
bool stepClear(int32_t p, uint32_t f, const uint32_t* increments, int32_t n, int32_t* position, uint32_t* fraction);

// Steps a voice through up to n output samples and notes where each one
// reads (a fresh voice's first reads the start unstepped). Stops at the
// sample where the voice finishes: that one and all after it read silence.
// Returns how many were noted.
template <bool Tracking>
int32_t stepStretch(SampleVoice& v, const uint32_t* increments, int32_t n, bool gate, int32_t* position,
                    uint32_t* fraction) {
  int32_t i = 0;
  if (v.fresh && n > 0) {
    v.fresh = false;
    position[0] = v.position;
    fraction[0] = v.fraction;
    i = 1;
  }
  // In locals: the stores below could otherwise alias the voice's fields.
  int32_t p = v.position;
  uint32_t f = v.fraction;
  int32_t boundary = v.boundary;
  const uint32_t fixed = v.increment;
  // Most stretches end before the boundary: then every position follows
  // from the phase without a look at it.
  if constexpr (Tracking) {
    if (i < n && stepClear(p, f, increments + i, n - i, position + i, fraction + i) && position[n - 1] < boundary) {
      v.position = position[n - 1];
      v.fraction = fraction[n - 1];
      return n;
    }
  } else {
    const uint64_t end = f + static_cast<uint64_t>(fixed) * static_cast<uint32_t>(n - i);
    if (static_cast<int64_t>(p) + static_cast<int64_t>(end >> 24) < boundary) {
      stepClear(p, f, fixed, n - i, position + i, fraction + i);
      v.position = p + static_cast<int32_t>(end >> 24);
      v.fraction = static_cast<uint32_t>(end) & 0xFFFFFFu;
      return n;
    }
  }
  for (; i < n; ++i) {
    f += Tracking ? increments[i] : fixed;
    // Without a branch on the carry, whose pattern is irregular for most pitches.
    const auto advance = static_cast<int32_t>(f >> 24);
    p += advance;
    f &= 0xFFFFFFu;
    if (p >= boundary && advance != 0) {
      v.position = p;
      v.fraction = f;
      crossBoundary(v, gate);
      if (v.finished) return i;
      p = v.position;
      boundary = v.boundary;
    }
    position[i] = p;
    fraction[i] = f;
  }
  v.position = p;
  v.fraction = f;
  return n;
}

// Adds n samples of one voice to left and right. Tracking voices follow
// pitch[i] + modulation[i] per sample; fixed ones keep their increment. A
// finished voice would add only zeros (and the outputs never hold -0), so
// it stops there.
template <int32_t Interpolation, bool Tracking, bool Stereo>
void renderVoice(SampleVoice& v, float* left, float* right, int32_t n, const float* pitch, const float* modulation,
                 bool gate) {
  constexpr int32_t kStretch = 64;
  int32_t position[kStretch];
  uint32_t fraction[kStretch];
  uint32_t increments[Tracking ? kStretch : 1];
  for (int32_t i = 0; i < n && !v.finished; i += kStretch) {
    const int32_t m = n - i < kStretch ? n - i : kStretch;
    if constexpr (Tracking) trackingIncrements(v, pitch + i, modulation + i, m, increments);
    const int16_t* data = v.data;
    const int32_t partnerOffset = v.partnerOffset;
    const int32_t stepped = stepStretch<Tracking>(v, increments, m, gate, position, fraction);
    mixStretch<Interpolation, Stereo>(data, partnerOffset, position, fraction, stepped, v.leftGain, v.rightGain,
                                      left + i, right + i);
  }
}

}  // namespace zv::sampler
