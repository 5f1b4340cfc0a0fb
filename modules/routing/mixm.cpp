#include "modules/routing/mixm.h"

#include <algorithm>

Mixm::Mixm(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&Mixm::subProcessSilence);
  registerPin(SIGNAL, signal_);
  registerPin(BLEND, blend_);
  registerPin(MODULATOR, modulator_);
  registerPin(OUTPUT, output_);
  registerPin(ON, on_);
}

int32_t MP_STDCALL Mixm::openModule() {
  // Off until the host delivers On = 1.
  setBlockFunction(&Mixm::subProcessSilence);
  return MpBase::openModule();
}

void Mixm::pinsUpdated() {
  if (on_ == 1) {
    bool anyStreaming = signal_.isStreaming() || blend_.isStreaming() || modulator_.isStreaming();
    output_.setStreaming(anyStreaming);
    setBlockFunction(&Mixm::subProcess);
    setSleepMode(!anyStreaming);
  } else {
    output_.setStreaming(false);
    setBlockFunction(&Mixm::subProcessSilence);
    setSleepMode(true);
  }
}

void Mixm::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  const float* x = signal_.buffer() + bufferOffset;
  const float* b = blend_.buffer() + bufferOffset;
  const float* m = modulator_.buffer() + bufferOffset;
  float* out = output_.buffer() + bufferOffset;
  for (int32_t i = 0; i < sampleFrames; ++i) out[i] = zv::routing::modulationBlend(x[i], b[i], m[i]);
}

void Mixm::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(output_.buffer() + bufferOffset, sampleFrames, 0.0f);
}
