#include "modules/routing/dadsr.h"

#include <algorithm>

#include "modules/dsp/math.h"

namespace {

const MpChar* const kTableNames[zv::routing::kTableCount] = {
    MP_TEXT("ZV51_Shaper_Exp+"),     MP_TEXT("ZV51_Shaper_Exp"),   MP_TEXT("ZV51_Shaper_Exp_Inv"),
    MP_TEXT("ZV51_Shaper_Exp_Inv+"), MP_TEXT("ZV51_Shaper_SE_Db"), MP_TEXT("ZV51_Shaper_SE_Db+"),
};

}  // namespace

using zv::routing::DadsrCore;

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
  bool isNew[zv::routing::kTableCount];
  for (int32_t t = 0; t < zv::routing::kTableCount; ++t) {
    isNew[t] = tables_[t].open(host(), kTableNames[t], -1.0f, zv::routing::kShaperEntries);
  }
  // The last table's answer decides for the set; a table new on its own is
  // filled as well, since host memory comes unwritten.
  const bool fillAll = isNew[zv::routing::kTableCount - 1];
  for (int32_t t = 0; t < zv::routing::kTableCount; ++t) {
    if (fillAll || isNew[t]) tables_[t].fill([t](int32_t i) { return zv::routing::shaperEntry(t, i); });
  }

  core_.reset(hostSampleRate());
  core_.shaper = core_.decayShaper = shaperFor(zv::routing::kLinearCurve);
  attackRange_ = decayRange_ = zv::routing::kShortRange;
  releaseRange_ = zv::routing::kLongRange;
  std::fill(std::begin(recompute_), std::end(recompute_), true);
  gateValue_ = previousGate_ = 0.0f;
  setBlockFunction(&Dadsr::subProcessSilent);
  return MpBase::openModule();
}

zv::routing::Shaper Dadsr::shaperFor(int32_t curve) const {
  const int32_t t = zv::routing::tableIndex(curve);
  if (t < 0 || !tables_[t].isOpen()) return {};
  return {zv::dsp::TableView(tables_[t].data(), tables_[t].entries()), curve == 4 ? 2.0f : 1.0f};
}

void Dadsr::selectSilent() {
  output_.setStreaming(false);
  setBlockFunction(&Dadsr::subProcessSilent);
}

void Dadsr::startRelease(bool rangeFromPin) {
  recompute_[C_RELEASE] = true;
  if (rangeFromPin) releaseRange_ = releaseRangePin_ == 1 ? zv::routing::kLongRange : zv::routing::kShortRange;
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
  if (attackRangePin_.isUpdated())
    attackRange_ = attackRangePin_ != 0 ? zv::routing::kLongRange : zv::routing::kShortRange;
  if (decayRangePin_.isUpdated())
    decayRange_ = decayRangePin_ != 0 ? zv::routing::kLongRange : zv::routing::kShortRange;
  if (releaseRangePin_.isUpdated())
    releaseRange_ = releaseRangePin_ != 0 ? zv::routing::kLongRange : zv::routing::kShortRange;

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
    attackRange_ = attackRangePin_ == 1 ? zv::routing::kLongRange : zv::routing::kShortRange;
    decayRange_ = decayRangePin_ == 1 ? zv::routing::kLongRange : zv::routing::kShortRange;
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
  if (recompute_[C_ATTACK] || !zv::dsp::sameValue(a, cached_[C_ATTACK])) {
    cached_[C_ATTACK] = a;
    recompute_[C_ATTACK] = false;
    core_.attackIncrement = core_.increment(zv::routing::stageTime(a, attackRange_));
  }
  const float d = decay_.getValue(bufferOffset);
  if (recompute_[C_DECAY] || !zv::dsp::sameValue(d, cached_[C_DECAY])) {
    cached_[C_DECAY] = d;
    recompute_[C_DECAY] = false;
    core_.decayIncrement = core_.increment(zv::routing::stageTime(d, decayRange_));
  }
  const float s = sustain_.getValue(bufferOffset);
  if (recompute_[C_SUSTAIN] || !zv::dsp::sameValue(s, cached_[C_SUSTAIN])) {
    cached_[C_SUSTAIN] = s;
    recompute_[C_SUSTAIN] = false;
    core_.setSustain(s);
  }
  const float r = release_.getValue(bufferOffset);
  if (recompute_[C_RELEASE] || !zv::dsp::sameValue(r, cached_[C_RELEASE])) {
    cached_[C_RELEASE] = r;
    recompute_[C_RELEASE] = false;
    const float control = zv::routing::releaseControl(r);
    core_.releaseIncrement = core_.increment(zv::routing::stageTime(control, releaseRange_));
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
