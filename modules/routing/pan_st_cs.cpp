#include "modules/routing/pan_st_cs.h"

#include <algorithm>

#include "modules/dsp/math.h"

namespace zv::routing {

PanGains panGainsAt(const SharedTable& sinTable, const SharedTable& cosTable, float pan) {
  const float p = pan >= 1.0f ? 1.0f : (pan > 0.0f ? pan : 0.0f);
  return {cosTable.atControl(p), sinTable.atControl(p)};
}

}  // namespace zv::routing

PanStCS::PanStCS(IMpUnknown* host) : MpBase(host) {
  setSilentBlockFunction(&PanStCS::subProcessSilence);
  registerPin(LEFT_IN, leftIn_);
  registerPin(RIGHT_IN, rightIn_);
  registerPin(PAN, pan_);
  registerPin(LEFT_OUT, leftOut_);
  registerPin(RIGHT_OUT, rightOut_);
  registerPin(MODE, mode_);
}

int32_t MP_STDCALL PanStCS::openModule() {
  const bool sinNew = sin_.open(host(), MP_TEXT("ZV51_PAN_SIN"), -1.0f, zv::dsp::kPanLawEntries);
  const bool cosNew = cos_.open(host(), MP_TEXT("ZV51_PAN_COS"), -1.0f, zv::dsp::kPanLawEntries);
  // The second table's answer decides for both; host memory comes unwritten.
  if (cosNew || sinNew) sin_.fill(zv::dsp::panLawSine);
  if (cosNew) cos_.fill(zv::dsp::panLawCosine);
  panStale_ = true;
  gains_ = {};
  modeRoutine_ = static_cast<MpBlockFunction>(&PanStCS::subProcessSilence);
  setBlockFunction(&PanStCS::subProcessSilence);
  return MpBase::openModule();
}

void PanStCS::setOutputsStreaming(bool isStreaming) {
  leftOut_.setStreaming(isStreaming);
  rightOut_.setStreaming(isStreaming);
}

void PanStCS::pinsUpdated() {
  const bool sounding =
      leftIn_.isStreaming() || rightIn_.isStreaming() || leftIn_.getValue() != 0.0f || rightIn_.getValue() != 0.0f;
  if (sounding && sin_.isOpen() && cos_.isOpen()) {
    if (mode_.isUpdated()) panStale_ = true;
    setOutputsStreaming(true);
    if (mode_ == 0) modeRoutine_ = static_cast<MpBlockFunction>(&PanStCS::subProcess<0>);
    if (mode_ == 1) modeRoutine_ = static_cast<MpBlockFunction>(&PanStCS::subProcess<1>);
    setBlockFunction(modeRoutine_);
    setSleepMode(false);
  } else {
    panStale_ = true;
    setOutputsStreaming(false);
    setBlockFunction(&PanStCS::subProcessSilence);
    setSleepMode(true);
  }
}

template <int32_t Mode>
void PanStCS::subProcess(int32_t bufferOffset, int32_t sampleFrames) {
  const float* left = leftIn_.buffer() + bufferOffset;
  const float* right = rightIn_.buffer() + bufferOffset;
  const float* pan = pan_.buffer() + bufferOffset;
  float* leftOut = leftOut_.buffer() + bufferOffset;
  float* rightOut = rightOut_.buffer() + bufferOffset;
  if (panStale_ && sampleFrames > 0) {
    panStale_ = false;
    cachedPan_ = pan[0];
    gains_ = zv::routing::panGainsAt(sin_, cos_, pan[0]);
  }
  for (int32_t i = 0; i < sampleFrames; ++i) {
    if (!zv::dsp::sameValue(pan[i], cachedPan_)) {
      cachedPan_ = pan[i];
      gains_ = zv::routing::panGainsAt(sin_, cos_, pan[i]);
    }
    const float l = left[i];
    const float r = right[i];
    if constexpr (Mode == 0) {
      const float sum = l + r;
      leftOut[i] = gains_.cosine * sum;
      rightOut[i] = gains_.sine * sum;
    } else {
      leftOut[i] = l * gains_.cosine + r * gains_.sine;
      rightOut[i] = r * gains_.cosine + l * gains_.sine;
    }
  }
}

void PanStCS::subProcessSilence(int32_t bufferOffset, int32_t sampleFrames) {
  std::fill_n(leftOut_.buffer() + bufferOffset, sampleFrames, 0.0f);
  std::fill_n(rightOut_.buffer() + bufferOffset, sampleFrames, 0.0f);
}
