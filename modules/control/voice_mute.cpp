#include "modules/control/voice_mute.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "modules/dsp/math.h"
#include "modules/dsp/portable_math.h"

namespace zv::control {

float raisedSine(int32_t i, int32_t length) {
  const float phase = static_cast<float>(i) / static_cast<float>(length) - 0.5f;
  return (static_cast<float>(dsp::sin(phase * std::numbers::pi_v<float>)) + 1.0f) * 0.5f;
}

}  // namespace zv::control

namespace {
constexpr float kFastSeconds = 0.005f;
constexpr float kSlowSeconds = 0.02f;
// The highest rate at which the slow fade still fits kMaxFade.
constexpr float kMaxRate = static_cast<float>(VoiceMute::kMaxFade) / kSlowSeconds;
}  // namespace

VoiceMute::VoiceMute(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&VoiceMute::subProcessSilence);
  registerPin(INPUT1, input_);
  registerPin(VOICE_ACTIVE, voiceActive_);
  registerPin(OUTPUT, output_);
  registerPin(LEGACY_MODE, legacyMode_);
}

void VoiceMute::openCurve(Curve& curve, const MpChar* name, float rate, float seconds, std::vector<float>& fallback) {
  // Products in single precision: 44.1 kHz gives 220 and 882 samples.
  curve.length = zv::dsp::truncateTo(rate * seconds, 1, kMaxFade, 1);
  const int32_t entries = curve.length + 1;
  void* block = nullptr;
  int32_t isNew = 0;
  // These two blocks are asked for in bytes, unlike the other modules' tables.
  host()->openNamedMemory(name, &block, rate, entries * static_cast<int32_t>(sizeof(float)), &isNew);
  auto* data = static_cast<float*>(block);
  if (data == nullptr) {
    fallback.resize(static_cast<size_t>(entries));
    data = fallback.data();
    isNew = 1;
  }
  // Each block is filled when it is itself new: the other one may have
  // been made earlier by an instance at the same rate.
  if (isNew != 0) {
    for (int32_t i = 0; i < entries; ++i) data[i] = zv::control::raisedSine(i, curve.length);
  }
  curve.data = data;
}

int32_t MP_STDCALL VoiceMute::openModule() {
  const float rate = zv::dsp::clampOr(hostSampleRate(), 0.0f, kMaxRate, 0.0f);
  openCurve(fast_, MP_TEXT("VoiceMute:FadeCurveFast"), rate, kFastSeconds, fastFallback_);
  openCurve(slow_, MP_TEXT("VoiceMute:FadeCurveSlow"), rate, kSlowSeconds, slowFallback_);
  curve_ = slow_.data;
  fadeCountdown_ = 0;
  onsetCountdown_ = 0;
  lastActive_ = false;
  passing_ = true;
  setBlockFunction(&VoiceMute::subProcessPass);
  return MpBase::openModule();
}

void VoiceMute::pinsUpdated() {
  if (voiceActive_.isUpdated()) {
    const float state = voiceActive_;
    const bool active = state > 0.0f;
    if (active && !lastActive_) {
      passing_ = true;
      if (legacyMode_) {
        onsetCountdown_ = kLegacyOnset;
        setBlockFunction(&VoiceMute::subProcessDelayedPass);
      } else {
        setBlockFunction(&VoiceMute::subProcessPass);
      }
    } else if (!active && lastActive_) {
      // A stolen voice must make way fast; NaN counts as a release.
      const Curve& fade = state < 0.0f ? fast_ : slow_;
      curve_ = fade.data;
      fadeCountdown_ = fade.length;
      passing_ = false;
      setBlockFunction(&VoiceMute::subProcessFade);
    }
    lastActive_ = active;
  }
  announceOutput();
}

// The output streams when what it passes on does: a module started with
// nothing connected ends static and may sleep.
void VoiceMute::graphStarted() {
  MpBase::graphStarted();
  announceOutput();
}

void VoiceMute::announceOutput() { output_.setStreaming(passing_ ? input_.isStreaming() : fadeCountdown_ > 0); }

void VoiceMute::subProcessPass(int32_t bufferOffset, int32_t sampleFrames) {
  std::copy_n(input_.buffer() + bufferOffset, sampleFrames, output_.buffer() + bufferOffset);
}

void VoiceMute::subProcessDelayedPass(int32_t bufferOffset, int32_t sampleFrames) {
  const float* in = input_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  for (int32_t i = 0; i < sampleFrames; ++i) {
    if (--onsetCountdown_ > 0) {
      out[i] = 0.0f;
      continue;
    }
    std::copy(in + i, in + sampleFrames, out + i);
    setBlockFunction(&VoiceMute::subProcessPass);
    if (!input_.isStreaming()) output_.setStreaming(false, bufferOffset + i);
    return;
  }
}

void VoiceMute::subProcessFade(int32_t bufferOffset, int32_t sampleFrames) {
  const float* in = input_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  const float* curve = curve_;
  for (int32_t i = 0; i < sampleFrames; ++i) {
    if (--fadeCountdown_ < 0) {
      output_.setStreaming(false, bufferOffset + i);
      std::fill(out + i, out + sampleFrames, 0.0f);
      setBlockFunction(&VoiceMute::subProcessSilence);
      return;
    }
    out[i] = curve[fadeCountdown_] * in[i];
  }
}

void VoiceMute::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
}
