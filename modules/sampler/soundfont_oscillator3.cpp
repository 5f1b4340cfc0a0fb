#include "modules/sampler/soundfont_oscillator3.h"

#include <algorithm>
#include <cmath>

const int16_t silentSamples[16] = {};

namespace {

int32_t clampToByteRange(float value) {
  if (!(value > 0.0f)) return 0;  // NaN too
  if (value > 127.0f) return 127;
  return static_cast<int32_t>(value);
}

int32_t clampPosition(int64_t position, int32_t count) {
  return static_cast<int32_t>(std::clamp<int64_t>(position, 0, count));
}

}  // namespace

SoundfontOscillator3::SoundfontOscillator3(IMpUnknown* host, SoundFontRegistry& registry)
    : MpBase(host), registry_(registry) {
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
  zones_.reserve(MAX_VOICES);
  voices_.reserve(MAX_VOICES);
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

void SoundfontOscillator3::graphStarted() {
  left_.setStreaming(false);
  right_.setStreaming(false);
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
  static const Render fixed[4] = {
      static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_NONE, false>),
      static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_LINEAR, false>),
      static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_CUBIC, false>),
      static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_SINC, false>)};
  static const Render tracking[4] = {
      static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_NONE, true>),
      static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_LINEAR, true>),
      static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_CUBIC, true>),
      static_cast<Render>(&SoundfontOscillator3::subProcessVoices<INTERP_SINC, true>)};
  const Render silence = static_cast<Render>(&SoundfontOscillator3::subProcessSilence);

  const int32_t mode = interpolation_.getValue();
  const int32_t interpolation = mode == 0 ? INTERP_NONE : mode == 4 ? INTERP_CUBIC : mode == 8 ? INTERP_SINC : INTERP_LINEAR;
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
    float hostRate = hostSampleRate();
    if (!(hostRate > 0.0f)) hostRate = 44100.0f;

    // Zones that cannot sound (ROM samples, empty or broken ranges) are dropped.
    size_t kept = 0;
    for (const ZoneRecord* zone : zones_) {
      if (kept >= MAX_VOICES) break;
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
  if (data.samples == nullptr) return false;
  const SampleHeader* primary = registry_.sampleHeader(heldHandle_, static_cast<uint16_t>(zone.generator(GEN_SAMPLE)));
  if (primary == nullptr || !primary->valid || (primary->type & 0x8000) != 0) return false;
  const SampleHeader* partner = nullptr;
  if ((primary->type & 1) == 0) {
    partner = registry_.sampleHeader(heldHandle_, primary->link);
    if (partner != nullptr && (!partner->valid || (partner->type & 0x8000) != 0)) partner = nullptr;
    // Right on Right, left on Left, whichever of the pair matched.
    if (partner != nullptr && (primary->type & 4) != 0) std::swap(primary, partner);
  }
  const SampleHeader& h = *primary;
  const int32_t count = data.count;
  auto offset = [&](int32_t fine, int32_t coarse) {
    return static_cast<int64_t>(zone.generator(fine)) + static_cast<int64_t>(zone.generator(coarse)) * 32768;
  };
  const int32_t start = clampPosition(h.start + offset(GEN_START_OFFSET, GEN_START_COARSE), count);
  const int32_t sampleEnd = clampPosition(h.end + offset(GEN_END_OFFSET, GEN_END_COARSE), count);
  if (start >= sampleEnd) return false;
  int32_t loopStart = clampPosition(h.loopStart + offset(GEN_LOOP_START_OFFSET, GEN_LOOP_START_COARSE), count);
  int32_t loopEnd = clampPosition(h.loopEnd + offset(GEN_LOOP_END_OFFSET, GEN_LOOP_END_COARSE), count);
  uint8_t loopMode = static_cast<uint8_t>(zone.generator(GEN_SAMPLE_MODES) & 3);
  // Mode 2 is "no loop"; a loop is kept inside the sample and must have a length.
  loopEnd = std::min(loopEnd, sampleEnd);
  if ((loopMode & 1) == 0 || loopEnd <= loopStart) {
    loopMode = 0;
    loopEnd = sampleEnd;
  }

  v.data = data.samples;
  v.position = start;
  v.fraction = 0;
  v.fresh = true;
  v.finished = false;
  v.loopStart = loopStart;
  v.loopEnd = loopEnd;
  v.sampleEnd = sampleEnd;
  v.boundary = std::min(loopEnd, sampleEnd);
  v.loopMode = loopMode;
  v.stereo = false;
  v.partnerOffset = 0;
  if (partner != nullptr) {
    const int64_t partnerOffset = static_cast<int64_t>(partner->start) - h.start;
    const int64_t lowest = std::min(start, loopStart) + partnerOffset;
    // A partner whose reads would leave the data is not played.
    if (lowest >= 0 && sampleEnd + partnerOffset <= count) {
      v.stereo = true;
      v.partnerOffset = static_cast<int32_t>(partnerOffset);
    }
  }

  const float pan = std::clamp(static_cast<float>(zone.generator(GEN_PAN)), -500.0f, 500.0f);
  const float x = (pan * 0.001f + 0.5f) * 1.5707964f;
  v.rightGain = std::sin(x) + 0.000001f;
  v.leftGain = std::cos(x) + 0.000001f;

  int32_t root = h.rootKey;
  if (zone.generator(GEN_ROOT_KEY) >= 0) root = zone.generator(GEN_ROOT_KEY);
  const auto correction = static_cast<float>(h.correction);
  const auto coarse = static_cast<float>(zone.generator(GEN_COARSE_TUNE));
  const auto fine = static_cast<float>(zone.generator(GEN_FINE_TUNE));
  v.pitchScale = static_cast<float>(zone.generator(GEN_SCALE_TUNING)) * 0.1f;
  v.basePitch = static_cast<float>(key - 69) * 0.008333334f + 0.5f -
                ((fine + correction) * 0.01f + coarse + static_cast<float>(key - root)) * 0.008333334f;
  v.rateRatio = static_cast<float>(h.sampleRate) / hostRate;
  return true;
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
