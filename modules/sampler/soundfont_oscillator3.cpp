#include "modules/sampler/soundfont_oscillator3.h"

#include <algorithm>
#include <cmath>

#include "modules/dsp/math.h"

namespace {

// Key and velocity numbers; NaN reads as 0.
int32_t clampToByteRange(float value) { return zv::dsp::truncateTo(value, 0, 127, 0); }

}  // namespace

using namespace zv::sampler;

SoundfontOscillator3::SoundfontOscillator3(IMpUnknown* host, SoundFontRegistry& registry)
    : MpBase(host), registry_(registry) {
  setSilentBlockFunction(&SoundfontOscillator3::subProcessSilence);
  registerPin(BANK_HANDLE, bankHandle_);
  registerPin(PITCH, pitch_);
  registerPin(TRIGGER, trigger_);
  registerPin(GATE, gate_);
  registerPin(VELOCITY, velocity_);
  registerPin(INTERPOLATION, interpolation_);
  registerPin(LEFT, left_);
  registerPin(RIGHT, right_);
  registerPin(ACTIVE, active_);
  registerPin(PITCH_MODULATION, pitchModulation_);
  registerPin(KEY_FROM_PITCH_ONLY, keyFromPitchOnly_);
  const int32_t none = -1;
  bankHandle_.setRawValue(4, &none);
  zones_.reserve(kMaxVoices);
  voices_.reserve(kMaxVoices);
  voiceRenderer_ = static_cast<MpBlockFunction>(&SoundfontOscillator3::subProcessSilence);
  setBlockFunction(&SoundfontOscillator3::subProcessSilence);
}

SoundfontOscillator3::~SoundfontOscillator3() { registry_.releaseUser(heldHandle_); }

int32_t MP_STDCALL SoundfontOscillator3::openModule() {
  SincTable::instance();
  sounding_ = false;
  voiceRenderer_ = static_cast<MpBlockFunction>(&SoundfontOscillator3::subProcessSilence);
  setBlockFunction(&SoundfontOscillator3::subProcessSilence);
  return MpBase::openModule();
}

void SoundfontOscillator3::stopSounding(int32_t position) {
  left_.setStreaming(false, position);
  right_.setStreaming(false, position);
  sounding_ = false;
  voices_.clear();
  zones_.clear();
  registry_.releaseUser(heldHandle_);
  heldHandle_ = -1;
}

void SoundfontOscillator3::pinsUpdated() {
  const int32_t position = currentBlockPosition();
  if (active_ != 1) {
    gateState_ = false;
    triggerState_ = false;
    stopSounding(position);
    chooseRenderer(position);
    setSleepMode(true);
    return;
  }
  setSleepMode(false);
  const bool edgesStream = gate_.isStreaming() || trigger_.isStreaming();
  if (gate_.isUpdated() || trigger_.isUpdated()) {
    if (!edgesStream) checkEdges(gate_.getValue(position) > 0.0f, trigger_.getValue(position) > 0.0f, position);
  }
  if (active_.isUpdated() || gate_.isUpdated() || trigger_.isUpdated() || pitch_.isUpdated() ||
      pitchModulation_.isUpdated() || interpolation_.isUpdated()) {
    chooseRenderer(position);
  }
}

void SoundfontOscillator3::checkEdges(bool gate, bool trigger, int32_t position) {
  const bool wasGate = gateState_;
  const bool wasTrigger = triggerState_;
  gateState_ = gate;
  triggerState_ = trigger;
  if (gate && (!wasGate || (trigger && !wasTrigger))) noteStart(position);
}

void SoundfontOscillator3::chooseRenderer(int32_t position) {
  using Render = MpBlockFunction;
  static const Render fixed[4] = {static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_NONE, false>),
                                  static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_LINEAR, false>),
                                  static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_CUBIC, false>),
                                  static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_SINC, false>)};
  static const Render tracking[4] = {static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_NONE, true>),
                                     static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_LINEAR, true>),
                                     static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_CUBIC, true>),
                                     static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_SINC, true>)};
  const Render silence = static_cast<Render>(&SoundfontOscillator3::subProcessSilence);

  const int32_t mode = interpolation_.getValue();
  const int32_t interpolation = mode == 0   ? INTERP_NONE
                                : mode == 4 ? INTERP_CUBIC
                                : mode == 8 ? INTERP_SINC
                                            : INTERP_LINEAR;
  Render chosen = silence;
  if (!sounding_) {
    chosen = silence;
  } else if (pitch_.isStreaming() || pitchModulation_.isStreaming()) {
    chosen = tracking[interpolation];
  } else {
    const float p = pitch_.getValue(position) + pitchModulation_.getValue(position);
    for (SampleVoice& v : voices_) {
      if (!v.finished) v.increment = voiceIncrement(v, p);
    }
    chosen = fixed[interpolation];
  }
  voiceRenderer_ = chosen;
  // While inactive no edge is looked at, even on a streaming gate.
  const bool edgesStream = gate_.isStreaming() || trigger_.isStreaming();
  if (active_ == 1 && edgesStream) {
    setBlockFunction(&SoundfontOscillator3::subProcessEdges);
  } else {
    setBlockFunction(chosen);
  }
}

void SoundfontOscillator3::noteStart(int32_t position) {
  sounding_ = false;
  const BankHandle wanted = bankHandle_.getValue();
  if (heldHandle_ != wanted) {
    registry_.releaseUser(heldHandle_);
    heldHandle_ = -1;
    // Only a handle whose user was granted is held.
    if (wanted >= 0 && registry_.addUser(wanted) > 0) heldHandle_ = wanted;
  }
  voices_.clear();
  zones_.clear();
  if (heldHandle_ >= 0) {
    const float pitch = pitch_.getValue(position);
    const float modulation = pitchModulation_.getValue(position);
    const float keyPitch = keyFromPitchOnly_.getValue() != 0 ? pitch : pitch + modulation;
    const int32_t key = clampToByteRange(std::floor((keyPitch - 0.5f) * 120.0f + 69.5f));
    const int32_t velocity = clampToByteRange(std::trunc(velocity_.getValue(position) * 127.0f));
    registry_.findZones(heldHandle_, 0, key, velocity, zones_);
    const SampleData data = registry_.sampleData(heldHandle_);
    const float hostRate = zv::dsp::usableSampleRate(hostSampleRate());

    // Zones that cannot sound (ROM samples, empty or broken ranges) are dropped.
    size_t kept = 0;
    for (const ZoneRecord* zone : zones_) {
      if (kept >= kMaxVoices) break;
      SampleVoice v;
      if (!setUpVoice(*zone, data, key, hostRate, v)) continue;
      v.increment = voiceIncrement(v, pitch + modulation);
      zones_[kept++] = zone;
      voices_.push_back(v);
    }
    zones_.resize(kept);
    sounding_ = !voices_.empty();
  }
  left_.setStreaming(sounding_, position);
  right_.setStreaming(sounding_, position);
  chooseRenderer(position);
}

bool SoundfontOscillator3::setUpVoice(const ZoneRecord& zone, const SampleData& data, int32_t key, float hostRate,
                                      SampleVoice& v) {
  const SampleHeader* primary = registry_.sampleHeader(heldHandle_, static_cast<uint16_t>(zone.generator(GEN_SAMPLE)));
  if (primary == nullptr) return false;
  const SampleHeader* partner = (primary->type & 1) == 0 ? registry_.sampleHeader(heldHandle_, primary->link) : nullptr;
  return setUpSampleVoice(zone, primary, partner, data.samples, data.count, key, hostRate, v);
}

void SoundfontOscillator3::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(left_.buffer() + bufferOffset, sampleFrames, 0.0f);
  std::fill_n(right_.buffer() + bufferOffset, sampleFrames, 0.0f);
}

template <int32_t Interpolation, bool Tracking>
void SoundfontOscillator3::subProcessVoices(int32_t bufferOffset, int32_t sampleFrames) {
  float* left = left_.buffer() + bufferOffset;
  float* right = right_.buffer() + bufferOffset;
  std::fill_n(left, sampleFrames, 0.0f);
  std::fill_n(right, sampleFrames, 0.0f);
  const float* pitch = pitch_.buffer() + bufferOffset;
  const float* modulation = pitchModulation_.buffer() + bufferOffset;
  for (SampleVoice& v : voices_) {
    if (v.stereo) {
      renderVoice<Interpolation, Tracking, true>(v, left, right, sampleFrames, pitch, modulation, gateState_);
    } else {
      renderVoice<Interpolation, Tracking, false>(v, left, right, sampleFrames, pitch, modulation, gateState_);
    }
  }
  // Finished voices leave only at the end of a stretch.
  size_t kept = 0;
  for (size_t i = 0; i < voices_.size(); ++i) {
    if (voices_[i].finished) continue;
    voices_[kept] = voices_[i];
    zones_[kept] = zones_[i];
    ++kept;
  }
  if (kept == voices_.size()) return;
  voices_.resize(kept);
  zones_.resize(kept);
  if (kept == 0) {
    stopSounding(bufferOffset + sampleFrames - 1);
    chooseRenderer(bufferOffset + sampleFrames - 1);
  }
}

void SoundfontOscillator3::subProcessEdges(int32_t bufferOffset, int32_t sampleFrames) {
  const float* gate = gate_.buffer();
  const float* trigger = trigger_.buffer();
  const int32_t end = bufferOffset + sampleFrames;
  int32_t runStart = bufferOffset;
  for (int32_t i = bufferOffset; i < end; ++i) {
    const bool g = gate[i] > 0.0f;
    const bool t = trigger[i] > 0.0f;
    if (g == gateState_ && t == triggerState_) continue;
    if (i > runStart) (this->*voiceRenderer_)(runStart, i - runStart);
    runStart = i;
    checkEdges(g, t, i);
  }
  if (end > runStart) (this->*voiceRenderer_)(runStart, end - runStart);
}
