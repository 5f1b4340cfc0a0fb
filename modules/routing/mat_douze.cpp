#include "modules/routing/mat_douze.h"

#include <algorithm>

namespace zv::routing {

void multiplyChannels(const float* modulator, const float* const* inputs, float* const* outputs, int32_t frames) {
  // Channel by channel, so each loop is a plain vector multiply.
  for (int32_t k = 0; k < kMatDouzeChannels; ++k) {
    const float* in = inputs[k];
    float* out = outputs[k];
    for (int32_t i = 0; i < frames; ++i) out[i] = in[i] * modulator[i];
  }
}

}  // namespace zv::routing

MatDouze::MatDouze(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&MatDouze::subProcessSilence);
  registerPin(MODULATOR, modulator_);
  for (int32_t k = 0; k < zv::routing::kMatDouzeChannels; ++k) registerPin(FIRST_INPUT + k, inputs_[k]);
  for (int32_t k = 0; k < zv::routing::kMatDouzeChannels; ++k) registerPin(FIRST_OUTPUT + k, outputs_[k]);
  registerPin(ACTIVE, active_);
}

int32_t MP_STDCALL MatDouze::openModule() {
  // Off until the host delivers Active = 1.
  setBlockFunction(&MatDouze::subProcessSilence);
  return MpBase::openModule();
}

void MatDouze::setOutputsStreaming(bool isStreaming) {
  for (auto& out : outputs_) out.setStreaming(isStreaming);
}

void MatDouze::pinsUpdated() {
  if (active_ != 1) {
    setOutputsStreaming(false);
    setBlockFunction(&MatDouze::subProcessSilence);
    setSleepMode(true);
    return;
  }
  bool anyStreaming = modulator_.isStreaming();
  for (const auto& in : inputs_) anyStreaming = anyStreaming || in.isStreaming();
  // One streaming input makes every output stream; static inputs give
  // static products.
  setOutputsStreaming(anyStreaming);
  setBlockFunction(&MatDouze::subProcess);
  setSleepMode(!anyStreaming);
}

void MatDouze::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  const float* in[zv::routing::kMatDouzeChannels];
  float* out[zv::routing::kMatDouzeChannels];
  for (int32_t k = 0; k < zv::routing::kMatDouzeChannels; ++k) {
    in[k] = inputs_[k].buffer() + bufferOffset;
    out[k] = outputs_[k].buffer() + bufferOffset;
  }
  zv::routing::multiplyChannels(modulator_.buffer() + bufferOffset, in, out, sampleFrames);
}

void MatDouze::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  for (auto& out : outputs_) std::fill_n(out.buffer() + bufferOffset, sampleFrames, 0.0f);
}
