#include "modules/control/rnd_voice.h"

#include <algorithm>
#include <random>

#include "modules/dsp/math.h"

// One sequence for all instances: each voice is an instance of its own, and
// generators per instance, started alike, would give every voice the same
// levels. Started alike at each load, so renders repeat; audio-side calls
// come from one thread.
int32_t RndVoice::draw() {
  static std::minstd_rand random{1};
  return static_cast<int32_t>(random() >> 16);
}

RndVoice::RndVoice(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&RndVoice::subProcessSilence);
  registerPin(GATE, gate_);
  registerPin(SECOND_INPUT, secondInput_);
  registerPin(OUTPUT, output_);
  registerPin(RANDOM, randomPin_);
  registerPin(SIGNAL, signal_);
  registerPin(RANGE, range_);
  registerPin(ACTIVE, active_);
  registerPin(OFFSET, offset_);
}

int32_t MP_STDCALL RndVoice::openModule() {
  level_ = 0.0f;
  setBlockFunction(&RndVoice::subProcessSilence);
  return MpBase::openModule();
}

void RndVoice::pinsUpdated() {
  const bool on = active_ == 1;
  // Only a new gate value starts a note; other changes keep the level.
  if (on && !gate_.isUpdated()) return;
  if (on && gate_ > 0.0f) {
    // The draw is made either way, so switching Random keeps the sequence.
    const float r = static_cast<float>(draw());
    float level = kFixedLevel;
    if (randomPin_ == 1) level = r * (1.0f / 32767.0f) * range_ + offset_;
    level_ = zv::dsp::isFinite(level) ? level : 0.0f;
    output_.setStreaming(true);
    setBlockFunction(&RndVoice::subProcess);
    setSleepMode(false);
  } else {
    level_ = 0.0f;
    output_.setStreaming(false);
    setBlockFunction(&RndVoice::subProcessSilence);
    setSleepMode(true);
  }
}

void RndVoice::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  const float* in = signal_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  const float level = level_;
  for (int32_t i = 0; i < sampleFrames; ++i) out[i] = level * in[i];
}

// Writing zeros rather than 0 × Signal keeps a static output constant even
// when the signal is not finite.
void RndVoice::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
}
