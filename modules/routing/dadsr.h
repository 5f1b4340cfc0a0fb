// "ZV51MODS ZV-ADSR D": delay-attack-decay-sustain-release envelope at audio
// rate, multiplied by a Level input. Each moving stage follows one of seven
// curves; six are shared lookup tables, curve 2 is the phase itself.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/shared_table.h"

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
  const SharedTable* table = nullptr;
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

}  // namespace zv::routing

class Dadsr : public MpBase {
 public:
  enum Pin {
    ACTIVE,
    ATTACK,
    DECAY,
    SUSTAIN,
    RELEASE,
    LEVEL,
    ATTACK_CURVE,
    DECAY_CURVE,
    RELEASE_CURVE,
    OUTPUT,
    RETRIGGER_MODE,
    ATTACK_RANGE,
    DECAY_RANGE,
    RELEASE_RANGE,
    DELAY,
    TRIGGER,
    GATE,
    TIMING_MODE,
    RELEASE_HOLD
  };

  explicit Dadsr(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  enum Control { C_ATTACK, C_DECAY, C_SUSTAIN, C_RELEASE, CONTROL_COUNT };

  zv::routing::Shaper shaperFor(int32_t curve) const;
  void convertControls(int32_t bufferOffset);
  void startRelease(bool rangeFromPin);
  void selectSilent();

  void subProcessSilent(int32_t bufferOffset, int32_t sampleFrames);
  template <bool SpanScaled>
  void subProcessAttack(int32_t bufferOffset, int32_t sampleFrames);
  template <bool SpanScaled>
  void subProcessRelease(int32_t bufferOffset, int32_t sampleFrames);

  AudioInPin active_;
  AudioInPin attack_;
  AudioInPin decay_;
  AudioInPin sustain_;
  AudioInPin release_;
  AudioInPin level_;
  IntInPin attackCurve_;
  IntInPin decayCurve_;
  IntInPin releaseCurve_;
  AudioOutPin output_;
  IntInPin retriggerMode_;
  IntInPin attackRangePin_;
  IntInPin decayRangePin_;
  IntInPin releaseRangePin_;
  AudioInPin delay_;
  IntInPin trigger_;
  FloatInPin gate_;
  IntInPin timingMode_;
  IntInPin releaseHold_;

  SharedTable tables_[zv::routing::kTableCount];
  zv::routing::DadsrCore core_;
  float attackRange_ = zv::routing::kShortRange;
  float decayRange_ = zv::routing::kShortRange;
  float releaseRange_ = zv::routing::kLongRange;
  float cached_[CONTROL_COUNT] = {};
  bool recompute_[CONTROL_COUNT] = {true, true, true, true};
  float gateValue_ = 0.0f;
  float previousGate_ = 0.0f;
};
