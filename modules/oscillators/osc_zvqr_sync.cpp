#include "modules/oscillators/osc_zvqr_sync.h"

#include <algorithm>
#include <cmath>

#include "modules/dsp/math.h"
#include "modules/oscillators/wavetable_sets.h"

using namespace zv::oscillators;

namespace {

// Soft-sync crossfade coefficients per factor (2, 4, 8).
struct SyncCoefficients {
  float c1, c2, c3;
};
constexpr SyncCoefficients kSync[3] = {{0.18f, 0.01587f, 0.3f}, {0.05f, 0.00397f, 0.15f}, {0.015f, 0.001f, 0.1f}};

constexpr int32_t factorSlot(int32_t factor) { return factor == 2 ? 0 : factor == 4 ? 1 : 2; }

// A master table offset on pin 9 is used only when it is the start of a table.
bool isTableStart(float offset) {
  if (!(offset >= static_cast<float>(kFirstTable)) ||
      !(offset <= static_cast<float>(kFirstTable + (kTableCount - 1) * kTableLength)))
    return false;
  const float k = (offset - static_cast<float>(kFirstTable)) / kCycle;
  return k == std::floor(k);
}

}  // namespace

OscZvqrSync::OscZvqrSync(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&OscZvqrSync::subProcessSilence);
  registerPin(PITCH, pitch_);
  registerPin(PHASE_OFFSET, phaseOffset_);
  registerPin(SHAPE, shape_);
  registerPin(ACTIVE, active_);
  registerPin(GATE, gate_);
  registerPin(MASTER_PITCH, masterPitch_);
  registerPin(MASTER_WRAP, masterWrap_);
  registerPin(MASTER_INCREMENT, masterIncrementIn_);
  registerPin(MASTER_FRACTION, masterFraction_);
  registerPin(MASTER_OFFSET, masterOffset_);
  registerPin(OUTPUT, output_);
  registerPin(SYNC, sync_);
  registerPin(SYNC_KIND, kind_);
  registerPin(UNUSED_INT, unusedInt_);
  registerPin(MODE, mode_);
  registerPin(RETRIGGER, retrigger_);
  registerPin(UNUSED_AUDIO, unusedAudio_);
  registerPin(LEVEL_1, level1_);
  registerPin(LEVEL_2, level2_);
  registerPin(LEVEL_3, level3_);
  registerPin(PHASE_RESET, phaseReset_);
  registerPin(SOFTNESS, softness_);
}

int32_t OscZvqrSync::internalFactor(int32_t kind) {
  // Unsupported kinds take the largest supported factor not above -kind.
  if (kind >= -3) return 2;
  if (kind >= -7) return 4;
  return 8;
}

int32_t OscZvqrSync::openModule() {
  openSets(host(), sets_);
  const float rate = zv::dsp::usableSampleRate(hostSampleRate());
  static constexpr int32_t kFactors[4] = {1, 2, 4, 8};
  for (int32_t k = 0; k < 4; ++k) openIncrements(increments_[k], host(), rate, kFactors[k]);
  samplesPerMs_ = static_cast<int32_t>(rate * 0.001f);
  voice_ = Voice{};
  if (increments_[0].isOpen()) voice_.setPitch(0.0f, increments_[0].data());
  voice_.forceRecompute();
  masterTables_ = chooseTables(0.0f);
  masterIncrement_ = voice_.increment > 0.0f ? voice_.increment : 1.0f;
  incrementRatio_ = 1.0f;
  masterPitchStale_ = true;
  masterPhase_ = followPhase_ = previousOutput_ = 0.0f;
  for (auto& f : filters_) f.clear();
  bypass_ = true;
  calls_ = 0;
  rememberedKind_ = 0;
  running_ = started_ = false;
  arming_ = RetriggerArming{};
  setBlockFunction(&OscZvqrSync::subProcessSilence);
  return MpBase::openModule();
}

void OscZvqrSync::stop() {
  voice_.stop();
  running_ = false;
}

void OscZvqrSync::chooseRendering() {
  using Fn = void (OscZvqrSync::*)(int32_t, int32_t);
  using S = OscZvqrSync;
  static constexpr Fn kPlain[] = {&S::subProcess<ModeSet1, false>, &S::subProcess<ModeBlend, false>,
                                  &S::subProcess<ModeSet2, false>, &S::subProcess<ModeSet3, false>,
                                  &S::subProcess<ModePulse, false>};
  static constexpr Fn kRestart[] = {&S::subProcess<ModeSet1, true>, &S::subProcess<ModeBlend, true>,
                                    &S::subProcess<ModeSet2, true>, &S::subProcess<ModeSet3, true>,
                                    &S::subProcess<ModePulse, true>};
  static constexpr Fn kExternal[] = {&S::subProcessExternal<ModeSet1>, &S::subProcessExternal<ModeBlend>,
                                     &S::subProcessExternal<ModeSet2>, &S::subProcessExternal<ModeSet3>,
                                     &S::subProcessExternal<ModePulse>};
  static constexpr Fn kInternal[3][5] = {
      {&S::subProcessInternal<ModeSet1, 2>, &S::subProcessInternal<ModeBlend, 2>, &S::subProcessInternal<ModeSet2, 2>,
       &S::subProcessInternal<ModeSet3, 2>, &S::subProcessInternal<ModePulse, 2>},
      {&S::subProcessInternal<ModeSet1, 4>, &S::subProcessInternal<ModeBlend, 4>, &S::subProcessInternal<ModeSet2, 4>,
       &S::subProcessInternal<ModeSet3, 4>, &S::subProcessInternal<ModePulse, 4>},
      {&S::subProcessInternal<ModeSet1, 8>, &S::subProcessInternal<ModeBlend, 8>, &S::subProcessInternal<ModeSet2, 8>,
       &S::subProcessInternal<ModeSet3, 8>, &S::subProcessInternal<ModePulse, 8>}};

  bool tablesOpen = sets_.slot[0] != nullptr && sets_.slot[1] != nullptr && sets_.slot[2] != nullptr;
  for (const auto& t : increments_) tablesOpen = tablesOpen && t.isOpen();
  if (!tablesOpen) {
    setBlockFunction(&OscZvqrSync::subProcessSilence);
    return;
  }
  const int32_t mode = mode_;
  if (mode < 0 || mode > 4) return;  // keeps the previous routine
  const int32_t kind = kind_;
  if (sync_ > 0 && kind < -1) {
    setBlockFunction(kInternal[factorSlot(internalFactor(kind))][mode]);
  } else if (sync_ > 0) {
    setBlockFunction(kExternal[mode]);
  } else {
    setBlockFunction(retrigger_ > 0 ? kRestart[mode] : kPlain[mode]);
  }
}

void OscZvqrSync::pinsUpdated() {
  const int32_t kind = kind_;
  if (kind_.isUpdated() && kind != rememberedKind_) {
    if (kind < -1) {
      calls_ = 0;
      bypass_ = true;
    }
    rememberedKind_ = kind;
  }
  fadeRange_ = kind > 0 ? static_cast<float>(kind) : 0.0f;

  const int32_t setting = retrigger_;
  if (phaseReset_.isUpdated() && phaseReset_ > 0.0f && setting >= 0) stop();

  arming_.update(voice_, gate_.getValue(), setting, samplesPerMs_);

  const bool active = active_.getValue() > 0.0f;
  const bool reconfigured = mode_.isUpdated() || sync_.isUpdated() || kind_.isUpdated() || retrigger_.isUpdated();
  if (active && (!running_ || reconfigured)) {
    voice_.forceRecompute();
    masterPitchStale_ = true;
    running_ = true;
    if (!started_) voice_.phase = 0.0f;
    started_ = true;
    output_.setStreaming(true);
    chooseRendering();
    setSleepMode(false);
  } else if (!active && !active_.isStreaming()) {
    stop();
    started_ = false;
    output_.setStreaming(false);
    setBlockFunction(&OscZvqrSync::subProcessSilence);
    setSleepMode(true);
  }
}

template <class Mode, bool Restart>
void OscZvqrSync::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  const float levels[3] = {level1_, level2_, level3_};
  const RenderIo io{pitch_.buffer() + bufferOffset,
                    phaseOffset_.buffer() + bufferOffset,
                    shape_.buffer() + bufferOffset,
                    output_.buffer() + bufferOffset,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr};
  renderVoice<Mode, Restart, false, false>(voice_, sets_, increments_[0].data(), levels, arming_.restart, io,
                                           sampleFrames);
}

template <class Mode>
void OscZvqrSync::subProcessExternal(int32_t bufferOffset, int32_t sampleFrames) {
  const float levelA = (Mode::kSlotA == 0 ? level1_ : Mode::kSlotA == 1 ? level2_ : level3_);
  const float levelB = (Mode::kSlotB == 0 ? level1_ : Mode::kSlotB == 1 ? level2_ : level3_);
  const float* increments = increments_[0].data();
  const float* pitch = pitch_.buffer() + bufferOffset;
  const float* offset = phaseOffset_.buffer() + bufferOffset;
  const float* shape = shape_.buffer() + bufferOffset;
  const float* masterPitch = masterPitch_.buffer() + bufferOffset;
  const float* masterWrap = masterWrap_.buffer() + bufferOffset;
  const float* masterIncrement = masterIncrementIn_.buffer() + bufferOffset;
  const float* masterFraction = masterFraction_.buffer() + bufferOffset;
  const float* masterOffset = masterOffset_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  const float range = fadeRange_;
  const float inverseRange = range > 0.0f ? 1.0f / range : 0.0f;

  Voice v = voice_;  // local copy: see renderVoice
  for (int32_t i = 0; i < sampleFrames; ++i) {
    v.setPitch(pitch[i], increments);
    v.setOffsetOne(offset[i]);
    v.template setOffsetTwo<Mode>(shape[i]);
    float blend = 1.0f;
    Heads master;
    const float tableStart = masterOffset[i];
    if (tableStart != 0.0f && isTableStart(tableStart)) {
      const float mp = masterPitch[i];
      const float inc = masterIncrement[i];
      const bool incrementUsable = inc > 0.0f && inc < 1e30f;
      if (range > 0.0f && mp >= 0.55f) {
        const float d = mp * 10.0f < 10.0f ? mp * 10.0f : 10.0f;
        blend = clampTo((range + 5.5f - d) * inverseRange, 0.0f, 1.0f);
        advancePhase(followPhase_, incrementUsable ? inc : 0.0f);
        TableChoice t;
        t.offset = static_cast<int32_t>(tableStart);
        const bool two = d < kTwoTableLimit && t.offset <= kFirstTable + (kTableCount - 2) * kTableLength;
        t.upper = two ? kTableLength : 0;
        t.mix = two ? clampTo(masterFraction[i], 0.0f, 1.0f) : 0.0f;
        master = v.read<Mode>(sets_, t, followPhase_);
      }
      const float w = masterWrap[i];
      if (w != 0.0f && std::isfinite(w) && incrementUsable) {
        const float steps = std::trunc(clampTo((mp * 1.1f - 0.5765f) * 20.0f, 1.0f, 5.0f));
        v.startRestart(v.increment / inc * w, steps * 0.05f);
      }
    }
    v.advance();
    Heads s = v.read<Mode>(sets_, v.tables, v.phase);
    v.applyCrossfade<Mode>(sets_, s);
    const float a = (master.a + (s.a - master.a) * blend) * levelA;
    const float b = (master.b + (s.b - master.b) * blend) * levelB;
    out[i] = Mode::combine(a, b, shape[i]);
  }
  voice_ = v;
}

template <class Mode, int32_t Factor>
void OscZvqrSync::subProcessInternal(int32_t bufferOffset, int32_t sampleFrames) {
  constexpr int32_t kSlot = factorSlot(Factor);
  constexpr SyncCoefficients kC = kSync[kSlot];
  const DecimationCoefficients& coefficients = decimationCoefficients(Factor);
  DecimationFilter& filter = filters_[kSlot];
  const float levelA = (Mode::kSlotA == 0 ? level1_ : Mode::kSlotA == 1 ? level2_ : level3_);
  const float levelB = (Mode::kSlotB == 0 ? level1_ : Mode::kSlotB == 1 ? level2_ : level3_);
  const float* increments = increments_[kSlot + 1].data();
  const float* pitch = pitch_.buffer() + bufferOffset;
  const float* offset = phaseOffset_.buffer() + bufferOffset;
  const float* shape = shape_.buffer() + bufferOffset;
  const float* masterPitch = masterPitch_.buffer() + bufferOffset;
  const float* softness = softness_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  const bool bypass = bypass_;

  Voice v = voice_;  // local copy: see renderVoice
  for (int32_t i = 0; i < sampleFrames; ++i) {
    bool ratioChanged = v.setPitch(pitch[i], increments);
    const float mp = masterPitch[i];
    if ((mp != lastMasterPitch_ || masterPitchStale_) && mp >= -1.0f) {
      lastMasterPitch_ = mp;
      masterPitchStale_ = false;
      const float volts = mp * 10.0f < kMaxVolts ? mp * 10.0f : kMaxVolts;
      masterTables_ = chooseTables(volts);
      masterIncrement_ = incrementAt(increments, volts);
      ratioChanged = true;
    }
    if (ratioChanged) incrementRatio_ = v.increment / masterIncrement_;
    v.setOffsetOne(offset[i]);
    v.template setOffsetTwo<Mode>(shape[i]);

    const float s = clampTo(softness[i], -1000.0f, 1000.0f);
    float blend = 1.0f;
    float gain = 1.0f;
    const bool ring = mp >= 0.6f && s >= 1.0f;
    if (ring) {
      const float l = masterTables_.volts < 10.0f ? masterTables_.volts : 10.0f;
      const float m = (10.0f - l) * 0.25f;
      gain = m > 0.8f ? m : 0.8f;
      blend = clampTo((m - 1.0f) * (s - 1.0f) + 1.0f, 0.0f, 1.0f);
    }
    // The ring term feeds the output back; limiting the fed-back value keeps
    // a strong softness from running away.
    const float ringScale = s * 4.0f * clampTo(previousOutput_, -1.0f, 1.0f) * 0.413253f;

    float first = 0.0f;
    for (int32_t k = 0; k < Factor; ++k) {
      const float w = advancePhase(masterPhase_, masterIncrement_);
      Heads ringTerm;
      if (ring) {
        const Heads u = v.read<Mode>(sets_, masterTables_, masterPhase_);
        ringTerm.a = ringScale * u.a;
        ringTerm.b = ringScale * u.b;
      }
      if (w != 0.0f) {
        if (s > 0.01f) {
          float step = kC.c3;
          if (v.increment >= masterIncrement_) {
            step = Factor * 0.5f * (kC.c1 + (kC.c2 - kC.c1) * std::min(s * 0.985f, 0.985f));
            const float vm = mp < 1.0333333f ? mp : 1.0333333f;
            if (1.1f - vm > 0.0f) step /= 1.1f - vm;
          }
          v.startRestart(incrementRatio_ * w, step);
        } else {
          v.phase = wrapCycle(incrementRatio_ * w);
        }
      }
      v.advance();
      Heads h = v.read<Mode>(sets_, v.tables, v.phase);
      v.applyCrossfade<Mode>(sets_, h);
      const float a = (ringTerm.a + (h.a - ringTerm.a) * blend) * gain * levelA;
      const float b = (ringTerm.b + (h.b - ringTerm.b) * blend) * gain * levelB;
      const float value = Mode::combine(a, b, shape[i]);
      const auto filtered = static_cast<float>(filter.step(coefficients, value));
      if (k == 0) first = bypass ? value : filtered;
    }
    out[i] = first;
    previousOutput_ = first;
  }
  voice_ = v;
  if (calls_ < kSettlingCalls - 1) {
    ++calls_;
  } else {
    bypass_ = false;
  }
}

void OscZvqrSync::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
}
