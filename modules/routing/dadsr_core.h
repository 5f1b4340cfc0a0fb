// The envelope's kernel: its stages, curves and per-sample steps, free of
// pins and host. The curve tables are passed in as views (the module keeps
// them in shared memory); without a table a curve is the phase itself.
//
// Times: a stage lasts 2^(10·control − range) seconds, never under 1 ms.
// Phases run 0..1 through the active curve; the level follows the curve
// scaled between the stage's start and end levels.
#pragma once

#include <cstdint>

#include "modules/dsp/table_view.h"

namespace zv::routing {

constexpr int32_t kShaperEntries = 10001;  // x = 0 … 1 in steps of 0.0001
constexpr int32_t kTableCount = 6;
constexpr int32_t kLinearCurve = 2;
constexpr float kShortRange = 10.0f;
constexpr float kLongRange = 6.666666f;  // time = 2^(10u − range) seconds
constexpr float kMinimumTime = 0.001f;
// Time controls above this would overflow 2^u in float (100 V: 2^90 s).
constexpr float kMaximumControl = 10.0f;

// Which of the six tables a curve selector reads; -1 for the linear curve
// and for every selector outside 0..6, which behaves as linear.
int32_t tableIndex(int32_t curve);
// Entry i of shared table t (0..5), from its formula.
float shaperEntry(int32_t table, int32_t i);

// One curve: a table read (curve 4's table is stored at half height) or,
// without a table, the phase itself.
struct Shaper {
  zv::dsp::TableView table;
  float gain = 1.0f;
};

// Seconds of a stage for its time control and range constant: 2^(u − range)
// with u = 10 × control, clamped to 0..kMaximumControl first (NaN to 0).
float stageTime(float control, float range);
// Attack and decay controls start at 0; the release control at 0.0001.
float releaseControl(float control);

// The envelope's state and its per-sample steps, free of pins. Phases and
// the delay count are doubles so that tiny steps (span-scaled stages from
// levels near their target, delays past 2^24 samples) still move them.
struct DadsrCore {
  enum Stage : int16_t { IDLE, RAMP_DOWN, DELAY, ATTACK, DECAY, SUSTAIN };

  void reset(float sampleRate);
  // Per-sample phase increment of a stage lasting `seconds`, never under 1 ms.
  float increment(float seconds) const { return seconds > kMinimumTime ? samplePeriod / seconds : maxIncrement; }
  void setSustain(float control);
  // Shapes the clamped phase through the active curve; never below 0.
  float shape();

  // One sample of the attack routine (ramp-down, delay, attack, decay,
  // sustain); `delayControl` is the Delay input at this sample.
  template <bool SpanScaled>
  void attackStep(float delayControl);
  // One sample of the release.
  template <bool SpanScaled>
  void releaseStep();
  // After a release call of `frames` samples: true once the whole call was
  // silent, so the output may be declared static from its start.
  bool releaseFinished(int32_t frames);

  double phase = 0.0;
  double delayCount = 0.0;
  float level = 0.0f;
  int16_t stage = IDLE;
  Shaper shaper;       // the active curve
  Shaper decayShaper;  // taken over when the attack completes

  float samplePeriod = 1.0f / 44100.0f;
  float maxIncrement = 1000.0f / 44100.0f;
  float rampDownDecrement = maxIncrement;
  float delayScale = 441000.0f;
  float attackIncrement = maxIncrement;
  float decayIncrement = maxIncrement;
  float releaseIncrement = maxIncrement;
  float attackStart = 0.0f;
  float attackScale = 1.0f;
  float sustain = 0.0f;
  float sustainComplement = 1.0f;
  float releaseStart = 0.0f;
  float releaseFactor = 1.0f;
  int32_t silentCount = 0;
  bool ended = false;
};

inline float DadsrCore::shape() {
  phase = phase > 0.0 ? (phase < 1.0 ? phase : 1.0) : 0.0;
  const float p = static_cast<float>(phase);
  const float v = shaper.table.isOpen() ? shaper.table.at(p * 10000.0f) * shaper.gain : p;
  return v > 0.0f ? v : 0.0f;
}

template <bool SpanScaled>
inline void DadsrCore::attackStep(float delayControl) {
  switch (stage) {
    case RAMP_DOWN:
      if (level >= rampDownDecrement) {
        level -= rampDownDecrement;
        return;
      }
      level = 0.0f;
      stage = DELAY;
      [[fallthrough]];
    case DELAY:
      if (delayCount < static_cast<double>(delayScale) * delayControl) {
        delayCount += 1.0;
        return;
      }
      stage = ATTACK;
      [[fallthrough]];
    case ATTACK:
      phase += SpanScaled ? static_cast<double>(attackIncrement) * attackScale : attackIncrement;
      level = shape() * attackScale + attackStart;
      // The phase test ends the attack even where rounding keeps the level a
      // hair under 1.
      if (level < 1.0f && phase < 1.0) return;
      level = 1.0f;
      phase = 1.0;
      shaper = decayShaper;
      stage = DECAY;
      [[fallthrough]];
    case DECAY:
      if (SpanScaled) {
        // Tables whose entry 0 is above 0 would hold the level just over the
        // sustain for ever: the phase reaching 0 ends the decay too.
        if (level > sustain && phase > 0.0) {
          phase -= static_cast<double>(decayIncrement) * sustainComplement;
          level = shape() * sustainComplement + sustain;
          return;
        }
      } else if (phase >= decayIncrement) {
        phase -= decayIncrement;
        level = shape() * sustainComplement + sustain;
        return;
      }
      level = sustain;
      stage = SUSTAIN;
      return;
    case SUSTAIN: level = sustain; return;
    default: return;
  }
}

template <bool SpanScaled>
inline void DadsrCore::releaseStep() {
  const bool running = SpanScaled ? (level > 0.0f && phase > 0.0) : phase >= releaseIncrement;
  if (!running) {
    ++silentCount;
    level = 0.0f;
    phase = 0.0;
    ended = true;
    return;
  }
  if (SpanScaled) {
    phase -= static_cast<double>(releaseIncrement) * releaseStart * releaseFactor;
  } else {
    phase -= static_cast<double>(releaseFactor) * releaseIncrement;
  }
  level = shape() * releaseStart;
}

}  // namespace zv::routing
