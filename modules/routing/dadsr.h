// "ZV51MODS ZV-ADSR D": delay-attack-decay-sustain-release envelope at audio
// rate, multiplied by a Level input. Each moving stage follows one of seven
// curves; six are shared lookup tables, curve 2 is the phase itself.
#pragma once

#include <cstdint>

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "frame/shared_table.h"
#include "modules/routing/dadsr_core.h"

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
