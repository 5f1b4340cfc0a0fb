// "ZV MixM": cross-fades a signal between itself and its product with a
// modulator (amplitude or ring modulation with a dry/wet blend).
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"

namespace zv::routing {

// out = x + x·(m − 1)·(b + 0.5): b = −0.5 dry, b = +0.5 the full product.
// Blend is not limited.
inline float modulationBlend(float x, float blend, float modulator) { return (modulator * x - x) * (blend + 0.5f) + x; }

}  // namespace zv::routing

class Mixm : public MpBase {
 public:
  enum Pin { SIGNAL, BLEND, MODULATOR, OUTPUT, ON };

  explicit Mixm(IMpUnknown* host);
  int32_t MP_STDCALL openModule() override;
  void pinsUpdated() override;

 private:
  void subProcess(int32_t bufferOffset, int32_t sampleFrames);
  void subProcessSilence(int32_t bufferOffset, int32_t sampleFrames);

  AudioInPin signal_;
  AudioInPin blend_;
  AudioInPin modulator_;
  AudioOutPin output_;
  IntInPin on_;
};
