#include "modules/routing/dadsr.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "modules/dsp/portable_math.h"

namespace dadsr {

static_assert(std::bit_cast<uint32_t>(kLongRange) == 0x40D55554u);

namespace {

const MpChar* const kTableNames[kTableCount] = {
    MP_TEXT("ZV51_Shaper_Exp+"),    MP_TEXT("ZV51_Shaper_Exp"),   MP_TEXT("ZV51_Shaper_Exp_Inv"),
    MP_TEXT("ZV51_Shaper_Exp_Inv+"), MP_TEXT("ZV51_Shaper_SE_Db"), MP_TEXT("ZV51_Shaper_SE_Db+"),
};

// Curve 4 is built from two soft-saturating rational steps.
float saturate(float x) { return 1.6f * x * (std::fabs(x) + 1.0f) / (1.6f * x * 3.0f * x + 1.0f); }
float saturateAgain(float g) {
  return 1.89f * g * (std::fabs(g * 0.33333334f) + 1.0f) / (1.6f * g * 3.0f * g + 1.0f);
}

// NaN and anything below lo become lo.
float clampLow(float v, float lo, float hi) { return v > lo ? (v < hi ? v : hi) : lo; }

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
  switch (table) {
    case 0: return (2.0f * x - static_cast<float>(zv::dsp::sin(x * 1.5707964f * 1.27f))) * 0.919f;
    case 1: return 2.0f * x - static_cast<float>(zv::dsp::sin(x * 1.5707964f));
    case 2: return static_cast<float>(zv::dsp::sin(x * 1.5707964f));
    case 3: return saturateAgain(saturate(x));
    case 4: return static_cast<float>(zv::dsp::exp(4.462f * x - 4.45f)) - 0.0117f;
    case 5: return static_cast<float>(zv::dsp::exp(11.5f * x - 11.5f));
    default: return x;
  }
}

float stageTime(float control, float range) {
  const float u = clampLow(control, 0.0f, kMaximumControl) * 10.0f;
  return static_cast<float>(zv::dsp::exp2(static_cast<double>(u) - static_cast<double>(range)));
}

float releaseControl(float control) { return clampLow(control, 0.0001f, kMaximumControl); }

void DadsrCore::reset(float sampleRate) {
  if (!(sampleRate > 0.0f) || !std::isfinite(sampleRate)) sampleRate = 44100.0f;
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

float DadsrCore::shape() {
  phase = phase > 0.0 ? (phase < 1.0 ? phase : 1.0) : 0.0;
  const float p = static_cast<float>(phase);
  const float v = shaper.table != nullptr ? shaper.table->at(p * 10000.0f) * shaper.gain : p;
  return v > 0.0f ? v : 0.0f;
}

template <bool SpanScaled>
void DadsrCore::attackStep(float delayControl) {
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
    case SUSTAIN:
      level = sustain;
      return;
    default:
      return;
  }
}

template <bool SpanScaled>
void DadsrCore::releaseStep() {
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

bool DadsrCore::releaseFinished(int32_t frames) {
  // The first silent sample still outputs the level before it: only a call
  // with more silent samples than frames is silent throughout.
  if (!(ended && silentCount > frames && level <= 0.0f)) return false;
  silentCount = 0;
  return true;
}

template void DadsrCore::attackStep<false>(float);
template void DadsrCore::attackStep<true>(float);
template void DadsrCore::releaseStep<false>();
template void DadsrCore::releaseStep<true>();

}  // namespace dadsr

using dadsr::DadsrCore;

Dadsr::Dadsr(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&Dadsr::subProcessSilent);
  registerPin(ACTIVE, active_);
  registerPin(ATTACK, attack_);
  registerPin(DECAY, decay_);
  registerPin(SUSTAIN, sustain_);
  registerPin(RELEASE, release_);
  registerPin(LEVEL, level_);
  registerPin(ATTACK_CURVE, attackCurve_);
  registerPin(DECAY_CURVE, decayCurve_);
  registerPin(RELEASE_CURVE, releaseCurve_);
  registerPin(OUTPUT, output_);
  registerPin(RETRIGGER_MODE, retriggerMode_);
  registerPin(ATTACK_RANGE, attackRangePin_);
  registerPin(DECAY_RANGE, decayRangePin_);
  registerPin(RELEASE_RANGE, releaseRangePin_);
  registerPin(DELAY, delay_);
  registerPin(TRIGGER, trigger_);
  registerPin(GATE, gate_);
  registerPin(TIMING_MODE, timingMode_);
  registerPin(RELEASE_HOLD, releaseHold_);
}

int32_t MP_STDCALL Dadsr::openModule() {
  bool isNew[dadsr::kTableCount];
  for (int32_t t = 0; t < dadsr::kTableCount; ++t) {
    isNew[t] = tables_[t].open(host(), dadsr::kTableNames[t], -1.0f, dadsr::kShaperEntries);
  }
  // The last table's answer decides for the set; a table new on its own is
  // filled as well, since host memory comes unwritten.
  const bool fillAll = isNew[dadsr::kTableCount - 1];
  for (int32_t t = 0; t < dadsr::kTableCount; ++t) {
    if (fillAll || isNew[t]) tables_[t].fill([t](int32_t i) { return dadsr::shaperEntry(t, i); });
  }

  core_.reset(hostSampleRate());
  core_.shaper = core_.decayShaper = shaperFor(dadsr::kLinearCurve);
  attackRange_ = decayRange_ = dadsr::kShortRange;
  releaseRange_ = dadsr::kLongRange;
  std::fill(std::begin(recompute_), std::end(recompute_), true);
  gateValue_ = previousGate_ = 0.0f;
  setBlockFunction(&Dadsr::subProcessSilent);
  return MpBase::openModule();
}

dadsr::Shaper Dadsr::shaperFor(int32_t curve) const {
  const int32_t t = dadsr::tableIndex(curve);
  if (t < 0 || !tables_[t].isOpen()) return {};
  return {&tables_[t], curve == 4 ? 2.0f : 1.0f};
}

void Dadsr::selectSilent() {
  output_.setStreaming(false);
  setBlockFunction(&Dadsr::subProcessSilent);
}

void Dadsr::startRelease(bool rangeFromPin) {
  recompute_[C_RELEASE] = true;
  if (rangeFromPin) releaseRange_ = releaseRangePin_ == 1 ? dadsr::kLongRange : dadsr::kShortRange;
  core_.shaper = shaperFor(releaseCurve_);
  core_.releaseStart = core_.level;
  core_.ended = false;
  core_.phase = 1.0;
  output_.setStreaming(true);
  core_.silentCount = 0;
  if (timingMode_ == 1) {
    setBlockFunction(&Dadsr::subProcessRelease<false>);
  } else {
    setBlockFunction(&Dadsr::subProcessRelease<true>);
  }
}

void Dadsr::pinsUpdated() {
  core_.decayShaper = shaperFor(decayCurve_);

  if (releaseHold_.isUpdated()) {
    if (releaseHold_ != 0) {
      core_.releaseFactor = 0.0f;
      core_.rampDownDecrement = core_.maxIncrement;
    } else {
      core_.releaseFactor = 1.0f;
    }
  }
  // Any non-zero range value here is long; note start and end accept only 1.
  if (attackRangePin_.isUpdated()) attackRange_ = attackRangePin_ != 0 ? dadsr::kLongRange : dadsr::kShortRange;
  if (decayRangePin_.isUpdated()) decayRange_ = decayRangePin_ != 0 ? dadsr::kLongRange : dadsr::kShortRange;
  if (releaseRangePin_.isUpdated()) releaseRange_ = releaseRangePin_ != 0 ? dadsr::kLongRange : dadsr::kShortRange;

  if (gate_.isUpdated()) {
    previousGate_ = gateValue_;
    gateValue_ = gate_;
    if (previousGate_ <= 0.0f && gateValue_ > 0.0f) {
      core_.level = 0.0f;
      core_.phase = 0.0;
    }
    if (gateValue_ <= 0.0f && core_.level > 0.0f) startRelease(false);
  }

  if (!(active_.getValue() > 0.0f) || level_.getValue() == 0.0f) {
    selectSilent();
    return;
  }

  if (!trigger_.isUpdated()) return;
  if (trigger_ == 1) {
    recompute_[C_ATTACK] = recompute_[C_DECAY] = recompute_[C_SUSTAIN] = true;
    attackRange_ = attackRangePin_ == 1 ? dadsr::kLongRange : dadsr::kShortRange;
    decayRange_ = decayRangePin_ == 1 ? dadsr::kLongRange : dadsr::kShortRange;
    core_.ended = false;
    core_.shaper = shaperFor(attackCurve_);
    core_.delayCount = 0.0;
    core_.phase = 0.0;
    if (retriggerMode_ == 1) {
      core_.attackStart = 0.0f;
      core_.attackScale = 1.0f;
      core_.stage = DadsrCore::RAMP_DOWN;
    } else {
      core_.attackStart = core_.level;
      core_.attackScale = 1.0f - core_.level;
      core_.stage = DadsrCore::DELAY;
    }
    output_.setStreaming(true);
    if (timingMode_ == 1) {
      setBlockFunction(&Dadsr::subProcessAttack<false>);
    } else {
      setBlockFunction(&Dadsr::subProcessAttack<true>);
    }
  } else if (trigger_ == 0) {
    if (core_.level > 0.0f) {
      startRelease(true);
    } else {
      selectSilent();
    }
  }
}

void Dadsr::convertControls(int32_t bufferOffset) {
  const float a = attack_.getValue(bufferOffset);
  if (recompute_[C_ATTACK] || a != cached_[C_ATTACK]) {
    cached_[C_ATTACK] = a;
    recompute_[C_ATTACK] = false;
    core_.attackIncrement = core_.increment(dadsr::stageTime(a, attackRange_));
  }
  const float d = decay_.getValue(bufferOffset);
  if (recompute_[C_DECAY] || d != cached_[C_DECAY]) {
    cached_[C_DECAY] = d;
    recompute_[C_DECAY] = false;
    core_.decayIncrement = core_.increment(dadsr::stageTime(d, decayRange_));
  }
  const float s = sustain_.getValue(bufferOffset);
  if (recompute_[C_SUSTAIN] || s != cached_[C_SUSTAIN]) {
    cached_[C_SUSTAIN] = s;
    recompute_[C_SUSTAIN] = false;
    core_.setSustain(s);
  }
  const float r = release_.getValue(bufferOffset);
  if (recompute_[C_RELEASE] || r != cached_[C_RELEASE]) {
    cached_[C_RELEASE] = r;
    recompute_[C_RELEASE] = false;
    const float control = dadsr::releaseControl(r);
    core_.releaseIncrement = core_.increment(dadsr::stageTime(control, releaseRange_));
    if (core_.releaseFactor == 0.0f) core_.rampDownDecrement = 0.1f * core_.maxIncrement / control;
  }
}

void Dadsr::subProcessSilent(int32_t bufferOffset, int32_t sampleFrames) {
  core_.level = 0.0f;
  core_.phase = 0.0;
  std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
}

template <bool SpanScaled>
void Dadsr::subProcessAttack(int32_t bufferOffset, int32_t sampleFrames) {
  convertControls(bufferOffset);
  const float* level = level_.buffer() + bufferOffset;
  const float* delay = delay_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  // A local copy: stores to the output cannot alias it, so it stays in registers.
  DadsrCore core = core_;
  for (int32_t i = 0; i < sampleFrames; ++i) {
    out[i] = core.level * level[i];
    core.attackStep<SpanScaled>(delay[i]);
  }
  core_ = core;
}

template <bool SpanScaled>
void Dadsr::subProcessRelease(int32_t bufferOffset, int32_t sampleFrames) {
  convertControls(bufferOffset);
  const float* level = level_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  DadsrCore core = core_;
  for (int32_t i = 0; i < sampleFrames; ++i) {
    out[i] = core.level * level[i];
    core.releaseStep<SpanScaled>();
  }
  core_ = core;
  if (core_.releaseFinished(sampleFrames)) {
    output_.setStreaming(false, bufferOffset);
    setBlockFunction(&Dadsr::subProcessSilent);
  }
}
