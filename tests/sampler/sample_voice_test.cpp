#include "modules/sampler/sample_voice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace zv::sampler;

constexpr int32_t kPad = 8;
constexpr int32_t kPoints = 1200;

uint32_t bitsOf(float v) {
  uint32_t b;
  std::memcpy(&b, &v, 4);
  return b;
}

// One sample read by the definitions: s[j] is the sample j places on, t the
// fraction of the way to the next one.
float referenceRead(int32_t interpolation, const int16_t* s, uint32_t fraction) {
  switch (interpolation) {
    case INTERP_NONE: return static_cast<float>(s[0]) / 65536.0f;
    case INTERP_LINEAR: {
      const int64_t weighted = (int64_t{1} << 24) * s[0] + static_cast<int64_t>(fraction) * (s[1] - s[0]);
      return std::ldexp(static_cast<float>(weighted), -40);
    }
    case INTERP_CUBIC: {
      const float t = std::ldexp(static_cast<float>(fraction), -24);
      const auto a3 = static_cast<float>(s[2] - s[1] - s[-1] + s[0]);
      const float a2 = static_cast<float>(s[-1] - s[0]) - a3;
      const auto a1 = static_cast<float>(s[1] - s[-1]);
      const float curve = (a2 + a3 * t) * t * t;
      return std::ldexp(curve + a1 * t + static_cast<float>(s[0]), -16);
    }
    default: {
      const uint32_t row = fraction >> 19;
      const float* near = SincTable::instance().row(row);
      const float* far = SincTable::instance().row(row + 1);
      float d0 = 0.0f, d1 = 0.0f;
      for (int32_t k = -3; k <= 4; ++k) {
        d0 += near[k + 3] * static_cast<float>(s[k]);
        d1 += far[k + 3] * static_cast<float>(s[k]);
      }
      const auto blend = static_cast<float>(fraction % (1u << 19));
      return std::ldexp((524288.0f - blend) * d0 + blend * d1, -35);
    }
  }
}

struct Sound {
  std::vector<int16_t> samples;  // kPad zeros, kPoints points, kPad zeros
  const int16_t* data() const { return samples.data() + kPad; }
};

Sound noise(uint32_t seed) {
  Sound s{std::vector<int16_t>(kPoints + 2 * kPad, 0)};
  std::mt19937 random(seed);
  std::uniform_int_distribution<int32_t> any(-32768, 32767);
  for (int32_t i = 0; i < kPoints; ++i) s.samples[kPad + i] = static_cast<int16_t>(any(random));
  s.samples[kPad + 5] = 32767;  // the extremes side by side
  s.samples[kPad + 6] = -32768;
  s.samples[kPad + 7] = 32767;
  return s;
}

struct Play {
  const char* what;
  uint32_t increment;  // 0: the pitch streams
  bool loops;
  bool stereo;
};

// What the voice plays, output by output, worked out from the absolute
// phase: the looped part folded into the loop, silence once the end is
// reached (then true). increments[i] moves output i - 1 to output i.
bool referenceRender(int32_t interpolation, const Sound& sound, const SampleVoice& start,
                     const std::vector<uint32_t>& increments, std::vector<float>& left, std::vector<float>& right) {
  uint64_t phase = 0;
  for (size_t i = 0; i < left.size(); ++i) {
    if (i > 0) phase += increments[i];
    int64_t position = start.position + static_cast<int64_t>(phase >> 24);
    if (start.loopMode == 1 && position >= start.loopEnd) {
      position = start.loopStart + (position - start.loopEnd) % (start.loopEnd - start.loopStart);
    }
    if (position >= start.sampleEnd) return true;
    const auto fraction = static_cast<uint32_t>(phase & 0xFFFFFF);
    const float x = referenceRead(interpolation, sound.data() + position, fraction);
    if (start.stereo) {
      left[i] += referenceRead(interpolation, sound.data() + position + start.partnerOffset, fraction);
      right[i] += x;
    } else {
      left[i] += start.leftGain * x;
      right[i] += start.rightGain * x;
    }
  }
  return false;
}

template <int32_t Interpolation>
void renderStretches(SampleVoice& v, std::vector<float>& left, std::vector<float>& right, const float* pitch,
                     const float* modulation, bool tracking) {
  // Stretch lengths around the four-lane and 64-sample steps.
  const int32_t lengths[] = {1, 2, 3, 5, 64, 65, 127, 4, 200, 7};
  const auto n = static_cast<int32_t>(left.size());
  for (int32_t at = 0, k = 0; at < n; ++k) {
    const int32_t length = std::min(lengths[k % 10], n - at);
    auto render = tracking
                      ? (v.stereo ? renderVoice<Interpolation, true, true> : renderVoice<Interpolation, true, false>)
                      : (v.stereo ? renderVoice<Interpolation, false, true> : renderVoice<Interpolation, false, false>);
    render(v, left.data() + at, right.data() + at, length, pitch + at, modulation + at, true);
    at += length;
  }
}

TEST(SampleVoiceReaders, EveryInterpolationMatchesTheDefinitionsBitForBit) {
  const Play plays[] = {
      {"one sample a step", 0x1000000u, true, false}, {"half a sample", 0x0800000u, true, false},
      {"a little over one", 0x1234567u, true, true},  {"under a tenth", 0x0123457u, false, false},
      {"nearly three", 0x2FFFFFFu, false, true},      {"37.3 samples", 0x254CCCCu, true, false},
      {"the largest step", 0xFF000000u, true, true},  {"a streaming pitch", 0, true, false},
      {"a streaming pitch, stereo", 0, true, true},   {"a streaming pitch that plays out", 0, false, false},
  };
  const Sound sound = noise(9);
  const int32_t outputs = 1500;
  // A glide over two octaves with vibrato, and a modulation input.
  std::vector<float> pitch(outputs), modulation(outputs);
  for (int32_t i = 0; i < outputs; ++i) {
    pitch[i] = 0.4f + 0.2f * static_cast<float>(i) / outputs;
    modulation[i] = 0.01f * std::sin(static_cast<float>(i) * 0.05f);
  }
  for (int32_t interpolation : {INTERP_NONE, INTERP_LINEAR, INTERP_CUBIC, INTERP_SINC}) {
    for (const Play& play : plays) {
      SampleVoice v;
      v.data = sound.data();
      v.position = 3;
      v.loopStart = 400;
      v.loopEnd = 700;
      v.sampleEnd = play.stereo ? 900 : 1150;
      v.loopMode = play.loops ? 1 : 0;
      if (!play.loops) v.loopEnd = v.sampleEnd;
      v.boundary = v.loopEnd;
      v.stereo = play.stereo;
      v.partnerOffset = play.stereo ? 250 : 0;
      v.increment = play.increment;
      v.basePitch = 0.5f;
      v.pitchScale = 10.0f;
      v.rateRatio = 0.75f;
      v.leftGain = 0.3f;
      v.rightGain = 0.85f;
      const bool tracking = play.increment == 0;
      std::vector<uint32_t> increments(outputs, play.increment);
      if (tracking) {
        for (int32_t i = 0; i < outputs; ++i) increments[i] = trackingIncrement(v, pitch[i] + modulation[i]);
      }

      // Whatever is in the outputs already stays under what the voice adds.
      std::vector<float> left(outputs), right(outputs);
      for (int32_t i = 0; i < outputs; ++i) {
        left[i] = 0.001f * static_cast<float>(i % 17);
        right[i] = -0.002f * static_cast<float>(i % 13);
      }
      std::vector<float> expectedLeft = left, expectedRight = right;
      const bool ends = referenceRender(interpolation, sound, v, increments, expectedLeft, expectedRight);
      switch (interpolation) {
        case INTERP_NONE:
          renderStretches<INTERP_NONE>(v, left, right, pitch.data(), modulation.data(), tracking);
          break;
        case INTERP_LINEAR:
          renderStretches<INTERP_LINEAR>(v, left, right, pitch.data(), modulation.data(), tracking);
          break;
        case INTERP_CUBIC:
          renderStretches<INTERP_CUBIC>(v, left, right, pitch.data(), modulation.data(), tracking);
          break;
        default: renderStretches<INTERP_SINC>(v, left, right, pitch.data(), modulation.data(), tracking); break;
      }
      int32_t wrong = 0;
      std::string first;
      for (int32_t i = 0; i < outputs; ++i) {
        if (bitsOf(left[i]) == bitsOf(expectedLeft[i]) && bitsOf(right[i]) == bitsOf(expectedRight[i])) continue;
        if (wrong++ == 0) {
          std::ostringstream text;
          text << std::setprecision(9) << "output " << i << ": " << left[i] << " " << right[i] << ", expected "
               << expectedLeft[i] << " " << expectedRight[i];
          first = text.str();
        }
      }
      EXPECT_EQ(wrong, 0) << "interpolation " << interpolation << ", " << play.what << "; first at " << first;
      EXPECT_EQ(v.finished, ends) << "interpolation " << interpolation << ", " << play.what;
    }
  }
}

TEST(SampleVoiceReaders, StreamingIncrementsManyAtATimeMatchOneAtATime) {
  SampleVoice v;
  v.basePitch = 0.47f;
  v.pitchScale = 10.0f;
  v.rateRatio = 0.5442177f;  // 24 kHz played at 44.1 kHz
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> pitch = {0.5f, nan, inf, -inf, 40.0f, -40.0f, 1e30f, 0.0f, 1.0f, 0.57f, 0.3f};
  std::mt19937 random(5);
  std::uniform_real_distribution<float> any(-0.5f, 1.5f);
  while (pitch.size() < 4003) pitch.push_back(any(random));  // not a whole number of fours
  const std::vector<float> modulation(pitch.size(), 0.003f);
  // Every form this processor runs (the one in use among them). Short
  // counts too, around the fours and eights the lanes work in ahead of each
  // other; each in buffers of exactly its size, so that a read past them
  // shows.
  const auto forms = trackingIncrementsForms();
  ASSERT_FALSE(forms.empty());
#if ZV_FAST_EXP2_EIGHT
  if (__builtin_cpu_supports("avx2")) {
    EXPECT_EQ(forms.size(), 2u) << "the eight-lane form is not in use";
  }
#endif
  for (TrackingIncrementsForm form : forms) {
    for (size_t count = 0; count < 26; ++count) {
      const std::vector<float> somePitch(pitch.end() - static_cast<std::ptrdiff_t>(count), pitch.end());
      const std::vector<float> someModulation(count, -0.004f);
      std::vector<uint32_t> some(count);
      form(v, somePitch.data(), someModulation.data(), static_cast<int32_t>(count), some.data());
      for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(some[i], trackingIncrement(v, somePitch[i] + someModulation[i])) << count << " " << i;
      }
    }
    std::vector<uint32_t> out(pitch.size());
    form(v, pitch.data(), modulation.data(), static_cast<int32_t>(pitch.size()), out.data());
    for (size_t i = 0; i < pitch.size(); ++i) {
      ASSERT_EQ(out[i], trackingIncrement(v, pitch[i] + modulation[i])) << pitch[i];
      // And within a ppm (and the truncation) of the exact conversion.
      const auto exact = static_cast<double>(voiceIncrement(v, pitch[i] + modulation[i]));
      ASSERT_NEAR(static_cast<double>(out[i]), exact, exact * 1e-6 + 1.0) << pitch[i];
    }
  }
}

}  // namespace
