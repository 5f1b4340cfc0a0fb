#include "modules/routing/dadsr_core.h"

#include <bit>
#include <cmath>

#include "modules/dsp/math.h"
#include "modules/dsp/portable_math.h"

namespace zv::routing {

static_assert(std::bit_cast<uint32_t>(kLongRange) == 0x40D55554u);

namespace {

// Curve 4 is built from two soft-saturating rational steps.
float saturate(float x) { return 1.6f * x * (std::fabs(x) + 1.0f) / (1.6f * x * 3.0f * x + 1.0f); }
float saturateAgain(float g) { return 1.89f * g * (std::fabs(g * 0.33333334f) + 1.0f) / (1.6f * g * 3.0f * g + 1.0f); }

}  // namespace

int32_t tableIndex(int32_t curve) {
  switch (curve) {
    case 0: return 0;
    case 1: return 1;
    case 3: return 2;
    case 4: return 3;
    case 5: return 4;
    case 6: return 5;
    default: return -1;
  }
}

float shaperEntry(int32_t table, int32_t i) {
  const float x = static_cast<float>(i) * 0.0001f;
  // The float forms: the exact functions' bits in a fraction of the time,
  // six tables of 10001 entries being filled at every start.
  using zv::dsp::expAsFloat;
  using zv::dsp::sinAsFloat;
  switch (table) {
    case 0: return (2.0f * x - sinAsFloat(x * 1.5707964f * 1.27f)) * 0.919f;
    case 1: return 2.0f * x - sinAsFloat(x * 1.5707964f);
    case 2: return sinAsFloat(x * 1.5707964f);
    case 3: return saturateAgain(saturate(x));
    case 4: return expAsFloat(4.462f * x - 4.45f) - 0.0117f;
    case 5: return expAsFloat(11.5f * x - 11.5f);
    default: return x;
  }
}

float stageTime(float control, float range) {
  const float u = zv::dsp::clampTo(control, 0.0f, kMaximumControl) * 10.0f;
  return static_cast<float>(zv::dsp::exp2(static_cast<double>(u) - static_cast<double>(range)));
}

float releaseControl(float control) { return zv::dsp::clampTo(control, 0.0001f, kMaximumControl); }

void DadsrCore::reset(float sampleRate) {
  sampleRate = zv::dsp::usableSampleRate(sampleRate);
  stage = IDLE;
  delayCount = 0.0;
  delayScale = sampleRate * 10.0f;
  phase = 0.0;
  level = 0.0f;
  samplePeriod = 1.0f / sampleRate;
  maxIncrement = samplePeriod / kMinimumTime;
  rampDownDecrement = maxIncrement;
  attackIncrement = decayIncrement = releaseIncrement = maxIncrement;
  attackStart = 0.0f;
  attackScale = 1.0f;
  releaseStart = 0.0f;
  releaseFactor = 1.0f;
  silentCount = 0;
  ended = false;
}

void DadsrCore::setSustain(float control) {
  sustain = control > 0.0f ? (control < 1.0f ? control : 1.0f) : 0.0f;
  sustainComplement = 1.0f - sustain;
}

bool DadsrCore::releaseFinished(int32_t frames) {
  // The first silent sample still outputs the level before it: only a call
  // with more silent samples than frames is silent throughout.
  if (!(ended && silentCount > frames && level <= 0.0f)) return false;
  silentCount = 0;
  return true;
}

}  // namespace zv::routing
